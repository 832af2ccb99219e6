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

// One player's thinking between frames: what it saw when it planned, and the
// plan. Nothing else is kept; every action is recomputed from the screen.
struct ComputerMind {
  uint16_t seenRows[WELL_ROWS];  // own well when planned, full rows taken out
  bool swapUsed;                 // Swap pressed for this piece: not again
  ComputerPlan plan;
  int32_t plans;                 // plans made since the reset
};

// The one record of the computer players, by player.
struct ComputerState {
  ComputerMind mind[PLAYERS];
};
extern ComputerState computerState;

// Forgets both players' plans and counts.
void ResetComputer();

// Called once per frame tick (through the action source) for player p in
// play: the input the computer holds this frame. Reads gameState, never
// writes it; allocates nothing.
Action ComputerAction(int p);

// Plans a placement for player p's falling piece from what is on screen now
// (it also stores the plan in computerState). Exposed for tests and the
// benchmark: ComputerAction calls it whenever the well or the piece changed.
const ComputerPlan& PlanPlacement(int p);
