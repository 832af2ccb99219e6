// Running a recording through the engine, one frame tick at a time, checking
// every digest. The host supplies what its ActionSource and ReadTickCount
// answer while a replay runs.
#pragma once

#include "replay/recording.h"

struct ReplayFeed {
  // What ActionSource(p) answers during the next frame tick.
  void (*setActions)(const Action action[2]);
  // What ReadTickCount() answers from now on.
  void (*setTickCount)(uint32_t tick);
};

enum class ReplayStep : uint8_t { Frame, Finished, Diverged };

struct ReplayRun {
  const Recording* recording;
  ReplayFeed feed;
  size_t next;             // the event to run next
  int64_t runLeft;         // frames left in the run at `next` (0: not entered yet)
  int64_t frames;          // frame ticks run
  int64_t digestsMatched;
  uint32_t divergedLine;   // the line where the replay left the recording (0: it did not)
};

void BeginReplay(ReplayRun& run, const Recording& recording, ReplayFeed feed);

// Runs the events up to and including the next frame tick (the gravity ticks,
// Starts, switch changes, Stops and digests before it). Frame: one frame tick
// ran; Finished: the recording is over; Diverged: a digest or a player's
// state differs from the recording at divergedLine (the run stops there).
ReplayStep ReplayNextFrame(ReplayRun& run);
