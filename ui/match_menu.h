// The system menu's items about the matches played: "Reset the tally" and
// "Save the last match...".
#pragma once

#include <windows.h>

// Below 0xF000, low four bits clear, as WM_SYSCOMMAND wants.
constexpr UINT IDM_RESET_TALLY = 0x0250;
constexpr UINT IDM_SAVE_MATCH = 0x0260;

// OnCreate, after Host and Join, before Sound: the items appended to the
// system menu.
void AddMatchMenuItems(HWND window);
// WM_INITMENU: Reset offered but in a network match, the save item while a
// finished match is kept, saying so when the last one was too long to keep.
void ShowMatchMenuItems(HWND window);
// WM_SYSCOMMAND: true when the command was one of the items'. Reset the
// tally sets every player's wins to 0 (shown at the next frame tick); Save
// asks for a file (the standard dialog) and writes the last match there.
bool MatchMenuCommand(HWND window, WPARAM command);
