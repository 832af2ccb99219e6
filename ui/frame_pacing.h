// The main window's timers on Windows: 1 ms timer resolution while the
// window exists, the timers' start, and the frame ticks each message of the
// frame timer runs.
#pragma once

#include <windows.h>

#include <mmsystem.h>

#include "ui/frame_clock.h"
#include "ui/frame_rendering.h"

// The winmm calls, in one place so that tests can count them.
struct TimerCalls {
  MMRESULT(WINAPI* getDevCaps)(LPTIMECAPS caps, UINT size);
  MMRESULT(WINAPI* beginPeriod)(UINT periodMs);
  MMRESULT(WINAPI* endPeriod)(UINT periodMs);
  DWORD(WINAPI* getTime)();
};
extern TimerCalls timerCalls;

// The timer period held, in milliseconds; 0 while none is.
extern UINT timerPeriodHeld;

// The main window's creation: asks for the finest period the system offers
// that is not below 1 ms (the default tick of about 15.6 ms would stretch
// the 10 ms frame timer and the gravity timers). Once only.
void BeginTimerResolution();
// The main window's destruction and the entry point's way out: gives the
// period back if it is held.
void EndTimerResolution();

// The entry point holds one for its whole run, so that every way out of it,
// a failed start-up included, gives the period back.
struct TimerResolutionRelease {
  TimerResolutionRelease() = default;
  TimerResolutionRelease(const TimerResolutionRelease&) = delete;
  TimerResolutionRelease& operator=(const TimerResolutionRelease&) = delete;
  ~TimerResolutionRelease() { EndTimerResolution(); }
};

// The frame timer's period as last set (StartTimers starts it at
// FRAME_PERIOD_MS); 0 while no frame timer runs.
extern UINT frameTimerMs;

// While a network session runs (network_match.cpp): the frame timer keeps
// the frame pace whatever the match shows (the session is polled every
// tick), and gravity counts frames (frameGravity, engine/frame_gravity.h)
// instead of the gravity timers, which are stopped.
extern bool networkPace;

// The frame timer's clock: written here only (RunDueFrameTicks through
// FrameTicksDue, RestartFrameClock).
extern FrameClock frameClock;

// The main window's creation, after CreateImages: the gravity timer of each
// player whose images exist, at GRAVITY_BASE_MS, and the frame timer when
// every image does (without a game picture no tick runs).
void StartTimers(HWND window, const ImagesMade& made);
// The main window's destruction: its timers go with it.
void ForgetTimers();

// One frame tick as the frame timer runs it: the session's tick
// (SessionFrameTick) inside the drawing bracket (BeginFrameDrawing).
void RunFrameTick();
// The frame timer's message: the frame ticks due by the frame clock. Each
// invalidates only what it changed, so the window repaints once after them.
// Then the timer's period is set for what the match now is
// (FrameTimerPeriod).
void RunDueFrameTicks();
// A replay's pace, set by keys: frame ticks per 10 ms (1, 2, 4 or 8), paused,
// and the title last shown for it (0 plain, else the speed, PACE_PAUSED,
// PACE_OVER once the recording has run to its end).
struct ReplayPace {
  uint32_t speed;
  bool paused;
  uint32_t shown;
};
constexpr uint32_t PACE_PAUSED = 100;
constexpr uint32_t PACE_OVER = 101;
extern ReplayPace replayPace;
// WM_KEYDOWN while a replay runs: 1, 2, 4, 8 the speed, P or Space pause and
// resume, the right arrow one tick while paused, N the ticks up to the next
// Start of the file (or its end) at once, unseen. True when the key was one
// of these (only the right arrow counts a key's repeats).
bool ReplayKey(WPARAM key, LPARAM flags);

// Start and any key message: the next frame tick comes at the frame pace,
// not after a paused or title period. Nothing while no frame timer runs.
void QuickenFrameTimer();
// The network match's start and end: networkPace, and the gravity timers
// stopped, or started afresh at GRAVITY_BASE_MS.
void SetNetworkPace(bool on);
// Start: the new match's first frame timer message runs one tick, however
// long the time before it was, and comes at the frame pace.
void RestartFrameClock();
