// The program's shell: window globals, control identifiers, the main window
// class and window, and the window procedure.
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

extern const char MAIN_CLASS_NAME[];   // "BLOCKTIDE"
extern const char MAIN_WINDOW_TITLE[]; // "BlockTide"
// A fixed-size window: caption, system menu and minimise box, no sizing
// border and no maximise box (the layout is computed once).
constexpr DWORD MAIN_WINDOW_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
static_assert(MAIN_WINDOW_STYLE == 0x00CA0000, "the main window's style value");

// Child control styles: check box (automatic), push button, and label
// (border, centred text). The labels have always carried SS_REALSIZEIMAGE
// too, which does nothing for a text label; it stays so that the style
// value stays what it was.
constexpr DWORD CHILD_STYLE = WS_CHILD | WS_VISIBLE;
constexpr DWORD CHECK_BOX_STYLE = CHILD_STYLE | BS_AUTOCHECKBOX;
constexpr DWORD BUTTON_STYLE = CHILD_STYLE | BS_PUSHBUTTON;
constexpr DWORD LABEL_STYLE = CHILD_STYLE | WS_BORDER | SS_CENTER | SS_REALSIZEIMAGE;
static_assert(CHECK_BOX_STYLE == 0x50000003, "the Shadow check boxes' style value");
static_assert(BUTTON_STYLE == 0x50000000, "the buttons' style value");
static_assert(LABEL_STYLE == 0x50800801, "the labels' style value");

extern HINSTANCE instance;
extern HWND mainWindow;
extern HWND scoreLabel[2];
extern HWND levelLabel[2];
// LeaderColourIndex of score label 0 when the labels were last shown; -1
// before that. Kept by ShowLabels (host_operations.cpp), its only writer.
extern int32_t shownLeader;

// False when the class cannot be registered (also when the name is taken).
bool RegisterMainClass(HINSTANCE inst);
bool CreateMainWindow(HINSTANCE inst, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The commands, each followed by the focus going back to the main window.
// Start: focus, joysticks bound, both control sets loaded, both players reset.
void StartMatch();
// Stop: both players out; everything else stays as it is.
void StopMatch();
// Config: the modal dialog for player p, then p's joystick bound back here.
void RunConfigDialog(int p);

// The score labels' colours, as cell values (CellColour, brushes): red for
// the trailer, green for the leader, orange for both on a tie.
constexpr int32_t TRAILER_COLOUR = 1;
constexpr int32_t LEADER_COLOUR = 2;
constexpr int32_t TIE_COLOUR = 7;
// The colour of a score label showing `own` against `other`.
int32_t LeaderColourIndex(int32_t own, int32_t other);

// The entry point's work (WinMain calls it): start-up, message loop,
// shutdown; returns the exit code, 1 when COM, the class or the window
// cannot be made, after telling the player through showStartupError.
int RunBlockTide(HINSTANCE inst, int showCommand);

// Shows a start-up failure; a message box by default, tests record it.
typedef void (*StartupErrorFn)(const char* text);
extern StartupErrorFn showStartupError;
