// The program's start-up, message loop and shutdown, in their fixed order.
#include <objbase.h>
#include <windows.h>

#include "controls/settings_store.h"
#include "engine/engine.h"
#include "sound/wave_output.h"
#include "ui/frame_pacing.h"
#include "ui/frame_rendering.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "ui/match_recording.h"
#include "ui/network_match.h"

#include <cstdio>

StartupErrorFn showStartupError = [](const char* text) {
  MessageBoxA(nullptr, text, MAIN_WINDOW_TITLE, MB_OK | MB_ICONERROR);
};

// A start that cannot go on says so and ends with 1, never silently with 0.
// (Deleting drawing objects that were never made is harmless.)
static int StartupFailed(const char* what, unsigned long code) {
  DestroyDrawingObjects();
  char text[160];
  std::snprintf(text, sizeof text, "BlockTide cannot start: %s (code 0x%08lX).", what, code);
  showStartupError(text);
  return 1;
}

int RunBlockTide(HINSTANCE inst, int showCommand) {
  TimerResolutionRelease timerRelease;
  NetworkSocketsRelease socketsRelease;
  // Never undone: the joysticks use COM until exit.
  const HRESULT com = CoInitialize(nullptr);
  if (FAILED(com)) return StartupFailed("COM could not be initialised", static_cast<unsigned long>(com));
  gameState.gameOver[0] = true;
  gameState.gameOver[1] = true;
  settingNotStored = TellSettingNotStored;
  ComputeScaledLayout(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), ScreenDpi());
  CreateDrawingObjects();
  if (!RegisterMainClass(inst)) {
    return StartupFailed("the window class could not be registered", GetLastError());
  }
  if (!CreateMainWindow(inst, showCommand)) {
    return StartupFailed("the main window could not be created", GetLastError());
  }
  BeginLaunchNetworkMatch(session.options);

  StartSoundOutput();

  MSG msg = {};
  BOOL got;
  // GetMessageA gives -1 on failure (msg then holds nothing): end the loop.
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
    // The host's modeless code dialog gets its keys (Tab, Enter, Escape).
    HWND code = networkMatch.codeDialog;
    if (code != nullptr && IsDialogMessageA(code, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  StopSoundOutput();
  DestroyDrawingObjects();
  return got == 0 ? static_cast<int>(msg.wParam) : 0;
}
