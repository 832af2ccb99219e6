// The system menu's items about the matches played.
#include "ui/match_menu.h"

#include "engine/engine.h"

void AddMatchMenuItems(HWND window) {
  HMENU menu = GetSystemMenu(window, FALSE);
  if (menu == nullptr) return;
  AppendMenuA(menu, MF_STRING, IDM_RESET_TALLY, "Reset the tally");
}

bool MatchMenuCommand(WPARAM command) {
  if ((command & 0xFFF0) != IDM_RESET_TALLY) return false;
  ResetTally();
  return true;
}
