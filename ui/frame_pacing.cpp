// The timer resolution, the main window's timers and the frame timer's
// catch-up on Windows.
#include "ui/frame_pacing.h"

#include "engine/engine.h"
#include "engine/host.h"
#include "engine/frame_gravity.h"
#include "ui/match_recording.h"
#include "ui/window_handles.h"

TimerCalls timerCalls = {timeGetDevCaps, timeBeginPeriod, timeEndPeriod, timeGetTime};
UINT timerPeriodHeld;
UINT frameTimerMs;
FrameClock frameClock;
bool networkPace;

void BeginTimerResolution() {
  if (timerPeriodHeld != 0) return;
  TIMECAPS caps = {};
  if (timerCalls.getDevCaps(&caps, sizeof(caps)) != MMSYSERR_NOERROR) return;
  const UINT period = caps.wPeriodMin < 1 ? 1 : caps.wPeriodMin;
  if (timerCalls.beginPeriod(period) == TIMERR_NOERROR) timerPeriodHeld = period;
}

void EndTimerResolution() {
  if (timerPeriodHeld == 0) return;
  timerCalls.endPeriod(timerPeriodHeld);
  timerPeriodHeld = 0;
}

void StartTimers(HWND window, const ImagesMade& made) {
  for (int p = 0; p < made.players; ++p) SetTimer(window, GravityTimerId(p), GRAVITY_BASE_MS, nullptr);
  if (made.all) SetTimer(window, FRAME_TIMER, FRAME_PERIOD_MS, nullptr);
  frameTimerMs = made.all ? FRAME_PERIOD_MS : 0;
}

void ForgetTimers() { frameTimerMs = 0; }

// The engine's host operation (engine/host.h): SetTimer with a running
// timer's identifier starts its countdown afresh.
void ArmGravityTimer(int p, uint32_t periodMs) {
  if (networkPace) {
    ArmFrameGravity(frameGravity, p, periodMs);
    return;
  }
  SetTimer(mainWindow, GravityTimerId(p), periodMs, nullptr);
}

void SetNetworkPace(bool on) {
  networkPace = on;
  for (int p = 0; p < PLAYERS; ++p) {
    if (on) {
      KillTimer(mainWindow, GravityTimerId(p));
    } else {
      SetTimer(mainWindow, GravityTimerId(p), GRAVITY_BASE_MS, nullptr);
    }
  }
  QuickenFrameTimer();
}

// SetTimer with the frame timer's identifier replaces its period and starts
// the countdown afresh; a timer that StartTimers never started stays off.
static void SetFrameTimerPeriod(uint32_t periodMs) {
  if (frameTimerMs == 0 || frameTimerMs == periodMs) return;
  SetTimer(mainWindow, FRAME_TIMER, periodMs, nullptr);
  frameTimerMs = periodMs;
}

void RunFrameTick() {
  BeginFrameDrawing();
  SessionFrameTick();
  EndFrameDrawing();
}

// Paused, a message may run two ticks at once, both reading the controls as
// they are now. When one ends the pause, the rest are left out and the clock
// starts from now: the key that ended it then counts from that tick on, one
// tick per 10 ms, as at the frame pace (the ticks before would have found it
// up); counted twice at once, a short press could pause again.
// timeGetTime rather than GetTickCount: with the finer period it counts
// single milliseconds, where the tick count may step by 15 or 16.
void RunDueFrameTicks() {
  const uint32_t now = timerCalls.getTime();
  const uint32_t due = FrameTicksDue(frameClock, now);
  const bool paused = gameState.paused;
  for (uint32_t i = 0; i < due; ++i) {
    RunFrameTick();
    if (paused && !gameState.paused) {
      frameClock.lastMs = now;
      break;
    }
  }
  SetFrameTimerPeriod(networkPace ? FRAME_PERIOD_MS : FrameTimerPeriod(gameState));
}

void QuickenFrameTimer() { SetFrameTimerPeriod(FRAME_PERIOD_MS); }

void RestartFrameClock() {
  frameClock.running = false;
  QuickenFrameTimer();
}
