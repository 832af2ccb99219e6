// The headless match simulator: its one record (clock, timers, input) and
// the operations its files share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/engine.h"
#include "engine/xorshift.h"
#include "net/net_socket.h"
#include "replay/recording.h"

// One run of the script: both players' actions held for `frames` frames.
struct ScriptRun {
  int64_t frames;
  Action action[2];
};

// First presses later than this many frames after the piece's appearance
// are counted as this many.
constexpr int SIM_FIRST_PRESS_BINS = 1024;

// The simulated clock and the gravity timers are frameGravity's
// (engine/frame_gravity.h): a frame step every 10 ms, each player's gravity at
// the period last armed (at least 10 ms), as a network match counts them.
struct SimState {
  uint32_t tickCount;        // what ReadTickCount() returns: the streams' seed
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
  int32_t matchesPrinted;    // "match K:" lines printed so far
};

extern SimState simState;

// Writes text with every byte outside printable ASCII (newline excepted) as
// \xHH: messages may quote arguments and script bytes, which must not reach
// the terminal raw.
void PrintEscaped(std::FILE* out, const char* text);

// Reads a script (see the usage text); on a fault writes a message naming the
// line to `error` and returns false. Control characters other than tab, and
// scripts over RECORDING_MAX_FRAMES frames in all, are refused.
bool ParseScript(std::FILE* in, std::vector<ScriptRun>& runs, char* error, size_t errorSize);

// The input of a run: the seeded random player (both players, never Pause)
// or the script's runs; after the script's end nothing is held.
struct SimInput {
  bool random;
  Xorshift64 generator;      // the random player's
  int32_t left[2];           // frames each random choice is still held
  Action current[2];
  const std::vector<ScriptRun>* runs;
  size_t run;
  int64_t runLeft;
};
void BeginSimInput(SimInput& in, bool random, uint64_t randomSeed, const std::vector<ScriptRun>& runs);
// Both players' inputs for the next frame.
void NextSimInput(SimInput& in, Action held[2]);

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
// One 10 ms step: the frame tick (recorded), then each gravity timer that is
// due, once.
void SimStep();
// A gravity tick of p due by the frame count, recorded and counted.
void SimGravityTick(int p);

// A network match (--host, --join): what the command line chose.
struct SimNetPlan {
  bool host;                 // --host PORT or --host-invite, else --join HOST:PORT or --join-invite CODE
  bool invite;               // through the lobby: --host-invite or --join-invite
  uint64_t code;             // --join-invite
  char lobbyName[256];       // --lobby HOST[:PORT]
  uint16_t lobbyPort;
  const char* spares[4];     // --lobby-also HOST[:PORT]: the lobby's other processes, tried in turn
  int spareCount;
  uint16_t port;             // the host's port (either side)
  char hostName[NET_HOST_TEXT];  // --join: the host's address or name
  uint8_t delay;             // --delay: 1 to 10, 0 from the round trip
  uint32_t seed;             // the host's generator (--seed)
  int64_t frames;            // frames of the match both sides play
  bool computer;             // the computer plays this side's player
  int32_t level;             // at this level
  bool shadow;               // this side's player shows the ghost
  uint64_t every;
  bool stats;
  const char* recordPath;
};
// Plays this side's player in a network match in real time and prints the
// wells at its end; returns the exit status: 0 the match was played, 1 the
// two sides' matches differed, 3 the other side was lost, refused or never
// came. `input` gives this side's player's input unless it is the computer.
int RunNetworkMatch(const SimNetPlan& plan, SimInput& input);

// Prints both wells side by side with scores and levels.
void PrintWells(std::FILE* out, int64_t frame);
// A "match K: winner P" (or "no winner") line for each match ended since
// the last call, in the order they ended.
void PrintMatchEnds();
// The end of a run of `frame` frames: the wells (unless --every printed them
// just now) and, with --stats, the rows, pieces and garbage rows sent of each player.
void PrintRunEnd(int64_t frame, uint64_t every, bool stats);
