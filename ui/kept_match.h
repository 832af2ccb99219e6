// The match kept in memory: the current and the last finished match of the
// run, each as a recording of its own, so that the last one can be saved
// after the fact. The session's recorder feeds the kept one (Recorder::also).
#pragma once

#include <cstddef>

#include "replay/recording.h"

// The most a kept match holds: far below the recording limits, so a kept
// match always reads back; a longer one (hours of play) is not kept.
constexpr size_t KEPT_MATCH_MAX_BYTES = 8u << 20;

struct KeptMatch {
  Recorder recorder;   // the current match's, into bytes[current]
  char* bytes[2];      // made once at start-up; nothing is allocated later
  size_t used[2];
  int current;         // 0 or 1; the other holds the last finished match
  bool begun;          // a Start came since the recorder was opened
  bool haveLast;       // a finished match is kept
  bool lastTooLong;    // the last finished match outgrew the cap
  bool noMemory;       // the stores could not be made: nothing is kept
};

extern KeptMatch keptMatch;

// BeginSession: the storage, and the session's recorder feeding the kept
// one. Without both stores (out of memory) nothing is kept, the one made is
// given back and noMemory set (the menu says it).
void BeginKeptMatch(Recorder& session);
// Before each Start (local or network): a match still running is dropped
// and the kept recording begins afresh.
void KeepBeforeStart();
// After each tick, Stop and network frame: a match that ended (Stop, both
// out) becomes the last one; true when it did (the menu then changes).
bool KeepAfterTick();
// Writes the last finished match to a file; false when none is kept or the
// file cannot be written, with the system's error code in `error`.
bool SaveLastMatch(const char* path, unsigned long& error);
