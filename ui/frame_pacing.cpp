// The timer resolution and the frame timer's catch-up on Windows.
#include "ui/frame_pacing.h"

#include "ui/frame_clock.h"
#include "ui/frame_rendering.h"
#include "ui/main_window.h"

TimerCalls timerCalls = {timeGetDevCaps, timeBeginPeriod, timeEndPeriod, timeGetTime};
UINT timerPeriodHeld;
UINT frameTimerMs;

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

// SetTimer with the frame timer's identifier replaces its period and starts
// the countdown afresh; a timer that CreateImages never started stays off.
static void SetFrameTimerPeriod(uint32_t periodMs) {
  if (frameTimerMs == 0 || frameTimerMs == periodMs) return;
  SetTimer(mainWindow, FRAME_TIMER, periodMs, nullptr);
  frameTimerMs = periodMs;
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
    RunFrameTicks(1);
    if (paused && !gameState.paused) {
      frameClock.lastMs = now;
      break;
    }
  }
  SetFrameTimerPeriod(FrameTimerPeriod(gameState));
}

void QuickenFrameTimer() { SetFrameTimerPeriod(FRAME_PERIOD_MS); }
