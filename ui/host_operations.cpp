// The operations the match engine asks of its host (engine/host.h) that the
// main window's timers and labels and the control sampler answer (or, while
// replaying, the recording); the drawing steps are in frame_rendering.cpp.
#include "engine/host.h"

#include <windows.h>

#include "controls/action_sampling.h"
#include "ui/main_window.h"
#include "ui/match_recording.h"

void ArmGravityTimer(int p, uint32_t periodMs) { SetTimer(mainWindow, p + 1, periodMs, nullptr); }

void ShowLabels(int p, const char* scoreText, const char* levelText) {
  SetWindowTextA(scoreLabel[p], scoreText);
  SetWindowTextA(levelLabel[p], levelText);
}

void RequestRepaint() { InvalidateRect(mainWindow, nullptr, FALSE); }

// The recorder keeps the action the engine was given, as given.
Action ActionSource(int p) {
  if (Replaying()) return session.replayAction[p];
  const Action a = SampleAction(p);
  RecordActionAsked(session.recorder, p, a);
  return a;
}

uint32_t ReadTickCount() {
  if (Replaying()) return session.replayTick;
  const uint32_t tick = GetTickCount();
  RecordTickRead(session.recorder, tick);
  return tick;
}
