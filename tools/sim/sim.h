// The headless match simulator: its one record (clock, timers, input) and
// the operations its files share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/engine.h"
#include "replay/recording.h"

// One run of the script: both players' actions held for `frames` frames.
struct ScriptRun {
  int64_t frames;
  Action action[2];
};

// First presses later than this many frames after the piece's appearance
// are counted as this many.
constexpr int SIM_FIRST_PRESS_BINS = 1024;

struct SimState {
  uint32_t tickCount;        // what ReadTickCount() returns: the streams' seed
  uint64_t nowMs;            // simulated time
  uint64_t gravityDue[2];    // when each gravity timer next fires
  uint32_t gravityPeriod[2]; // the period last armed, at least the minimum
  int64_t arms[2];           // ArmGravityTimer calls, to see a re-arm
  Action held[2];            // what ActionSource(p) returns this frame
  bool computer[2];          // the computer plays p: ActionSource asks it
  int32_t level[2];          // at this level
  // Counted for --stats from the settled cells around each step that can
  // lock or clear: a lock adds 4 cells, a cleared row takes 10.
  int64_t rows[2];
  int64_t pieces[2];
  int32_t cellsBefore[2];
  // Counted for --stats from the actions asked: presses (actions that act
  // under the repeat rule, a held key's repeats too), key-downs (an action
  // other than the one held the frame before), and the frames from a piece's
  // appearance (the step that locked the one before; the match's start for
  // the first) to its first press, as counts by frames.
  int64_t presses[2];
  int64_t keyDowns[2];
  Action lastAsked[2];
  int64_t piecesSeen[2];
  int64_t appearedAt[2];
  bool pressedThisPiece[2];
  int64_t firstPressFrames[2][SIM_FIRST_PRESS_BINS];
};

extern SimState simState;

// Windows timers run a shorter period at 10 ms; the simulator does the same,
// which also keeps a level past 999 (period 0) from ticking without end.
constexpr uint32_t SIM_TIMER_MINIMUM_MS = 10;

// The most frames one run plays: the limit of --frames and of a script's
// total (about 11 days of play, a second or so of simulation).
constexpr int64_t SIM_MAX_FRAMES = 100000000;

// Writes text with every byte outside printable ASCII (newline excepted) as
// \xHH: messages may quote arguments and script bytes, which must not reach
// the terminal raw.
void PrintEscaped(std::FILE* out, const char* text);

// Reads a script (see the usage text); on a fault writes a message naming the
// line to `error` and returns false. Control characters other than tab, and
// scripts over SIM_MAX_FRAMES frames in all, are refused.
bool ParseScript(std::FILE* in, std::vector<ScriptRun>& runs, char* error, size_t errorSize);

// Parses an action name, case-insensitive; false if it is none of them.
bool ParseAction(const char* word, Action& action);

// Settled cells of p's well.
int32_t SettledCells(int p);

// Counts the locks and cleared rows behind a change of p's settled cells
// from cellsBefore[p] (at most one lock between two looks).
void CountChange(int p);

// --record: the recorder of the match played (its hooks are in sim_host.cpp
// and in the step), opened before Start and closed after the match.
extern Recorder simRecorder;
bool OpenSimRecording(const char* path);
bool CloseSimRecording();  // false when a write failed

// Runs a recording (--replay) and prints the wells at its end; returns the
// exit status: 0 every digest matched, 1 diverged, 2 a bad file.
int RunReplay(const char* path);

// Notes player p's action asked this frame for --stats.
void CountAction(int p, Action a);
// The median frames from a piece's appearance to its first press, -1 when
// no piece was pressed.
int64_t MedianFirstPress(int p);

// Prints both wells side by side with scores and levels.
void PrintWells(std::FILE* out, int64_t frame);
