// The computer player: one Action per frame for a player whose controls are
// set to the computer. It sees what a person at the screen sees (its well,
// the falling piece, the preview unless blank, the swap box) and presses the
// same actions under the same repeat rule. Platform-free, like the engine.
#pragma once

#include <cstdint>

#include "engine/game_state.h"

// Where the planner wants the falling piece.
struct ComputerPlan {
  bool valid;
  bool swapFirst;        // take the swap box's piece before steering
  int32_t pieceType;     // 0 to 6: the shape that is to land
  PieceMatrix target;    // its orientation at landing (normalised)
  int32_t targetX;       // its column at landing
  int32_t score;         // the planner's value of the placement (tests, figures)
};

// The strength of the computer: level 1 (easiest) to 5, the full computer.
constexpr int32_t COMPUTER_LEVEL_MIN = 1;
constexpr int32_t COMPUTER_LEVEL_MAX = 5;

// The limits the steering obeys at one level. Pace is held back like a
// person's: a reaction after something new appears, a least gap between two
// presses; judgement by leaving out the swap box or the preview and by now
// and then taking a worse placement of the best few.
struct ComputerLevel {
  int32_t reactFrames;         // from a new piece's appearance to the earliest first press (1: at once)
  int32_t garbageReactFrames;  // the same after garbage lifted the well
  int32_t pressGapFrames;      // least frames from one press to the next (0: none); a held
                               // key's repeats are presses too
  bool hardDrop;               // Fall once in place; otherwise Speed up until it lands
  bool useSwap;
  bool usePreview;
  int32_t worsePercent;        // chance per piece of a worse placement
  int32_t worseAmong;          // taken from the best this many (2 to 6), the best left out
};

// The limits of a level; a level outside 1 to 5 plays as level 5.
const ComputerLevel& ComputerLevelRules(int32_t level);

// One player's thinking between frames: what it saw when it planned, the
// plan, and the state of the level's limits. Nothing else is kept; every
// action is recomputed from the screen.
struct ComputerMind {
  uint16_t seenRows[WELL_ROWS];  // own well when planned, full rows taken out
  bool swapUsed;                 // Swap pressed for this piece: not again
  ComputerPlan plan;
  int32_t plans;                 // plans made since the reset
  int32_t level;                 // the level last asked for (0 after the reset: level 5)
  int32_t waitFrames;            // frames still to wait before reacting
  int32_t sincePress;            // frames since the last press, counted up to the gap
  int32_t worseRank;             // this piece's placement: 0 the best, 1 the second...
  uint64_t random;               // the level's generator, seeded from the match at the reset
};

// The one record of the computer players, by player.
struct ComputerState {
  ComputerMind mind[PLAYERS];
};
extern ComputerState computerState;

// Forgets both players' plans and counts, and seeds each player's generator
// from the match as Start left it (the piece streams' state): the same match
// draws the same numbers, whenever it is played.
void ResetComputer();

// Called once per frame tick (through the action source) for player p in
// play: the input the computer holds this frame at the given level (outside
// 1 to 5: level 5). Reads gameState, never writes it; allocates nothing.
Action ComputerAction(int p, int32_t level);

// Plans a placement for player p's falling piece from what is on screen now
// (it also stores the plan in computerState). Exposed for tests and the
// benchmark: ComputerAction calls it whenever the well or the piece changed.
const ComputerPlan& PlanPlacement(int p);
