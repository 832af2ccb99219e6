// The program's start-up, message loop and shutdown, in their fixed order.
#include <objbase.h>
#include <windows.h>

#include "engine/engine.h"
#include "ui/frame_rendering.h"
#include "ui/layout.h"
#include "ui/main_window.h"

int RunBlockTide(HINSTANCE inst, int showCommand) {
  CoInitialize(nullptr);  // never undone: the joysticks use COM until exit
  gameState.gameOver[0] = true;
  gameState.gameOver[1] = true;
  CreateDrawingObjects();
  ComputeLayout(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  RegisterMainClass(inst);
  if (!CreateMainWindow(inst, showCommand)) return 0;

  MSG msg = {};
  BOOL got;
  // GetMessageA gives -1 on failure (msg then holds nothing): end the loop.
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  DestroyDrawingObjects();
  return got == 0 ? static_cast<int>(msg.wParam) : 0;
}
