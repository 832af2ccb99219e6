// The system menu's items about the matches played: "Reset the tally".
#pragma once

#include <windows.h>

// Below 0xF000, low four bits clear, as WM_SYSCOMMAND wants.
constexpr UINT IDM_RESET_TALLY = 0x0250;

// OnCreate, after the Sound item: the items appended to the system menu.
void AddMatchMenuItems(HWND window);
// WM_SYSCOMMAND: true when the command was one of the items'. Reset the
// tally sets every player's wins to 0 (shown at the next frame tick).
bool MatchMenuCommand(WPARAM command);
