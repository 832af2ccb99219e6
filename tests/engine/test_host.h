// A recording host for the engine tests: scripted actions, a settable tick
// count, and a record of every host call the engine makes. No allocation.
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine.h"

constexpr int TEST_LOG_CAPACITY = 256;
constexpr int TEST_ARM_CAPACITY = 64;

struct ArmCall {
  int player;
  uint32_t periodMs;
};

// The one record of the test host; ResetTestHost() restores its defaults.
struct TestHost {
  Action held[2];         // what ActionSource(p) returns
  uint32_t tickCount;     // what ReadTickCount() returns
  int32_t tickReads;
  int32_t samples[2];     // ActionSource calls
  ArmCall arms[TEST_ARM_CAPACITY];
  int32_t armCount;       // all calls, also those past the capacity
  uint32_t lastArm[2];    // latest period per player (0 = never armed)
  int32_t armsFor[2];     // calls per player
  char scoreText[2][256];
  char levelText[2][256];
  int32_t labelCalls[2];
  int32_t clearWell[2];
  int32_t titles[2];
  int32_t draws[2];
  int32_t swapBoxes;
  int32_t repaints;
  // PlaySoundEvent calls by player (index p + 1: MATCH_WIDE first) and event.
  int32_t sounds[3][SOUND_EVENTS];
  // One letter per call, lower case for player 0, upper case for player 1:
  // w ClearWellImage, a ActionSource, t DrawTitle, d DrawPlayer; s DrawSwapBox,
  // r RequestRepaint. Appending stops when full.
  char log[TEST_LOG_CAPACITY];
  int32_t logLength;
};

extern TestHost testHost;

void ResetTestHost();

// Fresh process state (gameState, randState, matchFigures, host), the streams to be seeded
// from tick, and Start: ResetPlayer(0), then ResetPlayer(1).
void StartTestMatch(uint32_t tick);

// Puts template t into p's falling piece at (x, y).
void PlacePiece(int p, int t, int x, int y);

// Fills row r of p's board with colour v except the column hole (-1: none).
void FillRow(int p, int r, int hole, int32_t v = 1);

// PlaySoundEvent calls so far for player p (or MATCH_WIDE) and event e, and
// for p in all.
int32_t Heard(int p, SoundEvent e);
int32_t HeardInAll(int p);

// The call log as text, cleared afterwards (allocates: not for the
// allocation test).
std::string TakeLog();
