// The run's recording or replay, chosen on the command line: the session
// record, the hooks the window's ticks and commands go through, and the
// start and end of the run.
#pragma once

#include <windows.h>

#include "replay/launch_options.h"
#include "replay/replay_run.h"

struct MatchSession {
  LaunchOptions options;
  HANDLE file = INVALID_HANDLE_VALUE;  // the recording being written
  Recorder recorder;
  Recording recording;     // the recording being replayed
  ReplayRun run;
  bool replaying;          // a replay runs: not yet at its end, diverged or stopped
  Action replayAction[2];  // what ActionSource answers while replaying
  uint32_t replayTick;     // what ReadTickCount answers while replaying
  int exitStatus;          // 1 once a replay diverged
  char endMessage[512];    // told when the program ends (a failed recording)
};

extern MatchSession session;

// WinMain, before the window: reads the command line, opens the recording or
// reads the replay. Returns 0 to go on, or the exit status (2) after telling
// what is wrong.
int BeginSession(const char* commandLine);
// WinMain, after the message loop: ends the recording, tells of a write
// failure; returns the program's exit status.
int EndSession(int loopExitCode);

bool Replaying();

// The frame timer and the gravity timers: the engine's ticks, recorded; or
// while replaying, the recording's events (the gravity timers then idle).
void RunFrameTick();
void RunGravityTick(int p);

// A command while replaying: Stop ends the replay, the others are ignored
// (nothing is stored). True when the command was taken here.
bool ReplayCommand(int id);

// A message box, or with --unattended the standard error and a debug line.
void Tell(const char* text, bool problem);
