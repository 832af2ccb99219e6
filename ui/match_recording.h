// The run's recording or replay, chosen on the command line: the session
// record, the session's side of the window's ticks and commands (the only
// writers of the record after the start), and the start and end of the run.
#pragma once

#include <windows.h>

#include "ui/launch_options.h"
#include "replay/replay_run.h"

// A run launched with --replay is Replaying until its replay ends (at the
// recording's end, diverged, or stopped), then ReplayOver; any other run is
// NotReplaying throughout.
enum class ReplayState : uint8_t { NotReplaying, Replaying, ReplayOver };

struct MatchSession {
  LaunchOptions options;
  HANDLE file = INVALID_HANDLE_VALUE;  // the recording being written
  Recorder recorder;
  Recording recording;     // the recording being replayed
  ReplayRun run;
  ReplayState replay;
  Action replayAction[2];  // what ActionSource answers while replaying
  bool fed;                // a network frame runs: ActionSource answers fedAction
  Action fedAction[2];
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

// The frame tick and the gravity timers: the engine's ticks, recorded; or in
// a replay, the recording's events (the gravity timers then idle), and once
// it is over the title.
void SessionFrameTick();
void RunGravityTick(int p);
// A network match's frame tick: the engine's tick with the actions both
// programs agreed on, recorded as any other (never in a replay).
void SessionFrameTickWith(const Action action[2]);

// Every command of the window's buttons and boxes (Start, Stop, Shadow p,
// Config p) comes here with `act`, the window's side of it. In a replay,
// Stop ends the replay and the others are ignored (nothing is stored, the
// boxes keep the recording's switches); otherwise act(id) runs, between or
// before the recorder's notes of Start, Stop and a switch. False, without
// calling act, for any other command.
bool RunCommand(int id, void (*act)(int id));

// A message box, or with --unattended the standard error and a debug line.
void Tell(const char* text, bool problem);
// Tells of a failure with the system's words for its error code after
// `what`: "WHAT: THE SYSTEM'S TEXT (error CODE)."
void TellFailure(const char* what, unsigned long code);
// settingNotStored (controls/settings_store.h) in the window: a setting the
// registry refused, said with TellFailure.
void TellSettingNotStored(const char* value, long code);
