// Placeholder until the registry store lands: defaults, switches off.
#include "controls/settings_store.h"

#include <windows.h>

#include "controls/control_set.h"
#include "engine/engine.h"
#include "ui/main_window.h"

const char SETTINGS_KEY[] = "Software\\QuillbeamSoft\\BlockTide\\";
const char CONTROLS_VALUE[] = "Controls";
const char SHADOWS_VALUE[] = "Shadows";

void LoadControls(int) { SetDefaultControls(); }
void SaveControls(int) {}
void LoadShadows() { gameState.shadowOn[0] = gameState.shadowOn[1] = 0; }
void SaveShadow(int p) {
  gameState.shadowOn[p] = SendMessageA(shadowCheck[p], BM_GETCHECK, 0, 0) == 1 ? 1 : 0;
}
