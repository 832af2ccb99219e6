// The timer resolution, the main window's timers and the frame timer's
// catch-up on Windows.
#include "ui/frame_pacing.h"

#include <cstdio>

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

ReplayPace replayPace = {1, false, 0};

// The title's text is set only when what it says changes: the speed (1x
// too) or the pause while a replay runs, then that it is over.
static void ShowReplayPace() {
  const bool on = session.replay == ReplayState::Replaying;
  const bool over = session.replay == ReplayState::ReplayOver;
  const uint32_t want = over ? PACE_OVER : !on ? 0 : replayPace.paused ? PACE_PAUSED : replayPace.speed;
  if (want == replayPace.shown) return;
  replayPace.shown = want;
  char title[64];
  if (want == 0) {
    std::snprintf(title, sizeof title, "%s", MAIN_WINDOW_TITLE);
  } else if (want == PACE_OVER) {
    std::snprintf(title, sizeof title, "%s - replay over", MAIN_WINDOW_TITLE);
  } else if (want == PACE_PAUSED) {
    std::snprintf(title, sizeof title, "%s - replay paused", MAIN_WINDOW_TITLE);
  } else {
    std::snprintf(title, sizeof title, "%s - replay %ux", MAIN_WINDOW_TITLE, static_cast<unsigned>(want));
  }
  SetWindowTextA(mainWindow, title);
}

bool ReplayKey(WPARAM key, LPARAM flags) {
  if (session.replay != ReplayState::Replaying) return false;
  const bool repeat = (flags & (1L << 30)) != 0;
  if (key == VK_RIGHT) {
    if (replayPace.paused) RunFrameTick();
  } else if (repeat) {
    return key == '1' || key == '2' || key == '4' || key == '8' || key == 'P' || key == VK_SPACE || key == 'N';
  } else if (key == '1' || key == '2' || key == '4' || key == '8') {
    replayPace.speed = static_cast<uint32_t>(key - '0');
  } else if (key == 'P' || key == VK_SPACE) {
    replayPace.paused = !replayPace.paused;
  } else if (key == 'N') {
    // The replay ends at the file's end at the latest, so the loop does too.
    const int32_t started = matchFigures.matchesStarted;
    while (session.replay == ReplayState::Replaying && matchFigures.matchesStarted == started) RunFrameTick();
  } else {
    return false;
  }
  ShowReplayPace();
  return true;
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
  uint32_t due = FrameTicksDue(frameClock, now);
  if (session.replay == ReplayState::Replaying) due = replayPace.paused ? 0 : due * replayPace.speed;
  const bool paused = gameState.paused;
  for (uint32_t i = 0; i < due; ++i) {
    RunFrameTick();
    if (paused && !gameState.paused) {
      frameClock.lastMs = now;
      break;
    }
  }
  if (session.replay != ReplayState::NotReplaying) ShowReplayPace();  // the replay may be over
  SetFrameTimerPeriod(networkPace ? FRAME_PERIOD_MS : FrameTimerPeriod(gameState));
}

void QuickenFrameTimer() { SetFrameTimerPeriod(FRAME_PERIOD_MS); }

void RestartFrameClock() {
  frameClock.running = false;
  QuickenFrameTimer();
}
