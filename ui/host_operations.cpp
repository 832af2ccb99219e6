// The operations the match engine asks of its host (engine/host.h) that the
// main window's timers and labels and the control sampler answer; the drawing
// steps are in frame_rendering.cpp.
#include "engine/host.h"

#include <windows.h>

#include "controls/action_sampling.h"
#include "ui/main_window.h"

void ArmGravityTimer(int p, uint32_t periodMs) { SetTimer(mainWindow, p + 1, periodMs, nullptr); }

void ShowLabels(int p, const char* scoreText, const char* levelText) {
  SetWindowTextA(scoreLabel[p], scoreText);
  SetWindowTextA(levelLabel[p], levelText);
}

void RequestRepaint() { InvalidateRect(mainWindow, nullptr, FALSE); }

Action ActionSource(int p) { return SampleAction(p); }

uint32_t ReadTickCount() { return GetTickCount(); }
