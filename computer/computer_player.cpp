// The computer player's steering: one press a frame towards the planned
// placement, as a person holds the keys, then the drop.
#include "computer/computer_player.h"

#include <cstring>

#include "computer/computer_internal.h"
#include "engine/engine.h"

using namespace computer_detail;

ComputerState computerState;

namespace {

// One press towards the plan, or false when the piece is not where the plan
// can take it from (another piece, a refused swap, a blocked move).
bool Steer(int p, ComputerMind& mind, Action& out) {
  ComputerPlan& plan = mind.plan;
  if (!plan.valid) return false;
  const PieceMatrix& cur = gameState.curPiece[p];
  const int type = PieceTypeOf(cur, 16);
  if (plan.swapFirst && type != plan.pieceType) {
    if (mind.swapUsed) return false;  // pressed, and refused
    out = Action::Swap;
    if (ActsNow(p, out)) mind.swapUsed = true;
    return true;
  }
  plan.swapFirst = false;
  if (type != plan.pieceType) return false;

  PieceMatrix probe;
  CopyMatrix(probe, cur);
  int turns = 0;
  while (turns < 4 && !SameMatrix(probe, plan.target)) {
    TurnMatrix(probe, true);
    ++turns;
  }
  if (turns == 4) return false;

  const Board& board = gameState.board[p];
  const int x = gameState.pieceX[p], y = gameState.pieceY[p];
  const Action turn = turns == 3 ? Action::RotateCCW : Action::RotateCW;
  if (turns != 0 && ActsNow(p, turn)) {
    PieceMatrix m;
    CopyMatrix(m, cur);
    int tx = x, ty = y;
    if (TurnOnBoard(board, m, tx, ty, turn == Action::RotateCW) == TurnResult::Refused) return false;
    out = turn;
    return true;
  }
  const int dx = plan.targetX - x;
  if (dx != 0) {
    const Action move = dx < 0 ? Action::Left : Action::Right;
    if (ActsNow(p, move)) {
      if (!MatrixFits(board, cur, x + (dx < 0 ? -1 : 1), y)) return false;
      out = move;
      return true;
    }
    // Held, as a person holds a key: the repeat delay runs out meanwhile.
    out = turns != 0 ? turn : move;
    return true;
  }
  if (turns != 0) {
    out = turn;
    return true;
  }
  // In place. Fall twice in a row waits out its long delay; one row down
  // first lets the Fall act at once and lands on the same spot.
  out = ActsNow(p, Action::Fall) ? Action::Fall : Action::SpeedUp;
  return true;
}
}  // namespace

void ResetComputer() { computerState = ComputerState{}; }

Action ComputerAction(int p) {
  if (p != 0 && p != 1) return Action::NoAction;
  // A paused match waits for a person: the computer never resumes it.
  if (gameState.gameOver[p] || gameState.paused) return Action::NoAction;
  if (PieceTypeOf(gameState.curPiece[p], 16) < 0) return Action::NoAction;
  ComputerMind& mind = computerState.mind[p];
  if (!MatrixFits(gameState.board[p], gameState.curPiece[p], gameState.pieceX[p], gameState.pieceY[p])) {
    // Lifted above the top by garbage: it can neither turn nor move. One row
    // down brings it back into the well (or locks it where gravity would);
    // the plan is made once it is back.
    mind.plan.valid = false;
    return Action::SpeedUp;
  }
  Rows well;
  ReadWell(gameState.board[p], well, true);
  if (std::memcmp(well.row, mind.seenRows, sizeof mind.seenRows) != 0) {
    // A lock, a clear or garbage: a new piece, or the old one on new ground.
    mind.swapUsed = false;
    mind.plan.valid = false;
  }
  if (!mind.plan.valid) PlanPlacement(p);
  Action a = Action::NoAction;
  if (Steer(p, mind, a)) return a;
  PlanPlacement(p);
  if (Steer(p, mind, a)) return a;
  return ActsNow(p, Action::Fall) ? Action::Fall : Action::NoAction;
}
