// The frame timer's pace on Windows: 1 ms timer resolution while the main
// window exists, and the frame ticks each message of the frame timer runs.
#pragma once

#include <windows.h>

#include <mmsystem.h>

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

// The frame timer's message: the frame ticks due by the frame clock. Each
// invalidates only what it changed, so the window repaints once after them.
void RunDueFrameTicks();
