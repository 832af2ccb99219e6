// The main window's handles and identifiers: what the files below the
// window (the recording, the pacing, the host operations, the network
// match) read of it without including the window's own header. The handles
// are defined and written in main_window.cpp (shownLeader in
// host_operations.cpp, its only writer).
#pragma once

#include <windows.h>

#include <cstdint>

// The window fills in two records that controls/ reads: the Shadow check
// boxes (shadowCheck, settings_store.h) and the player being configured
// (configPlayer, config_dialog.h).
#include "controls/config_dialog.h"
#include "controls/settings_store.h"

// Child control and timer identifiers.
constexpr int ID_START = 401;
constexpr int ID_STOP = 402;
constexpr int ID_SHADOW0 = 410;   // + p
constexpr int ID_CONFIG0 = 420;   // + p
constexpr int ID_SCORE0 = 200;    // + p
constexpr int ID_LEVEL0 = 300;    // + p
// The timers of the main window: the frame tick, and each player's gravity
// tick. Every SetTimer and every WM_TIMER test takes its identifier here.
constexpr UINT_PTR FRAME_TIMER = 0;
constexpr UINT_PTR GravityTimerId(int p) { return FRAME_TIMER + 1 + static_cast<UINT_PTR>(p); }

extern const char MAIN_WINDOW_TITLE[]; // "BlockTide"

extern HINSTANCE instance;
extern HWND mainWindow;
extern HWND scoreLabel[2];
extern HWND levelLabel[2];
// LeaderColourIndex of score label 0 when the labels were last shown; -1
// before that.
extern int32_t shownLeader;

// The score labels' colours, as cell values (CellColour, brushes): red for
// the trailer, green for the leader, orange for both on a tie.
constexpr int32_t TRAILER_COLOUR = 1;
constexpr int32_t LEADER_COLOUR = 2;
constexpr int32_t TIE_COLOUR = 7;
// The colour of a score label showing `own` against `other`.
constexpr int32_t LeaderColourIndex(int32_t own, int32_t other) {
  return own == other ? TIE_COLOUR : own > other ? LEADER_COLOUR : TRAILER_COLOUR;
}
