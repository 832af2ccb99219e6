// The system menu's items about the matches played.
#include "ui/match_menu.h"

#include <commdlg.h>

#include <cstdio>

#include "engine/engine.h"
#include "ui/kept_match.h"
#include "ui/match_recording.h"
#include "ui/network_match.h"

namespace {

const char SAVE_TEXT[] = "Save the last match...";
const char TOO_LONG_TEXT[] = "Save the last match (too long to keep)";
const char NO_MEMORY_TEXT[] = "Save the last match (no memory to keep one)";

void SaveMatch(HWND window) {
  char path[MAX_PATH] = "match.rec";
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window;
  dialog.lpstrFilter = "Recordings (*.rec)\0*.rec\0All files\0*.*\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = sizeof path;
  dialog.lpstrDefExt = "rec";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetSaveFileNameA(&dialog)) return;
  unsigned long error = 0;
  if (SaveLastMatch(path, error)) return;
  char text[MAX_PATH + 64];
  std::snprintf(text, sizeof text, "The match could not be saved to %s", path);
  TellFailure(text, error);
}

}  // namespace

void AddMatchMenuItems(HWND window) {
  HMENU menu = GetSystemMenu(window, FALSE);
  if (menu == nullptr) return;
  AppendMenuA(menu, MF_STRING, IDM_RESET_TALLY, "Reset the tally");
  AppendMenuA(menu, MF_STRING | MF_GRAYED, IDM_SAVE_MATCH, SAVE_TEXT);
}

void ShowMatchMenuItems(HWND window) {
  HMENU menu = GetSystemMenu(window, FALSE);
  if (menu == nullptr) return;
  // Both PCs of a network match count the same tally: neither resets it alone.
  EnableMenuItem(menu, IDM_RESET_TALLY, MF_BYCOMMAND | (NetworkMatchOn() ? MF_GRAYED : MF_ENABLED));
  const UINT state = keptMatch.haveLast ? MF_ENABLED : MF_GRAYED;
  ModifyMenuA(menu, IDM_SAVE_MATCH, MF_BYCOMMAND | MF_STRING | state, IDM_SAVE_MATCH,
              keptMatch.noMemory ? NO_MEMORY_TEXT : keptMatch.lastTooLong ? TOO_LONG_TEXT : SAVE_TEXT);
}

bool MatchMenuCommand(HWND window, WPARAM command) {
  const UINT item = static_cast<UINT>(command & 0xFFF0);
  if (item == IDM_RESET_TALLY) {
    if (!NetworkMatchOn()) ResetTally();
    return true;
  }
  if (item != IDM_SAVE_MATCH) return false;
  SaveMatch(window);
  return true;
}
