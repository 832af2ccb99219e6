// The computer player's steering: one press a frame towards the planned
// placement, as a person holds the keys, then the drop.
#include "computer/computer_player.h"

#include <cstring>

#include "computer/computer_internal.h"
#include "engine/engine.h"
#include "engine/xorshift.h"

using namespace computer_detail;

ComputerState computerState;

namespace {

// One press towards the plan, or false when the piece is not where the plan
// can take it from (another piece, a refused swap, a blocked move).
bool Steer(int p, ComputerMind& mind, bool hardDrop, Action& out) {
  ComputerPlan& plan = mind.plan;
  if (!plan.valid) return false;
  const PieceMatrix& cur = gameState.curPiece[p];
  const int type = PieceTypeOf(cur, 16);
  if (plan.swapFirst && type != plan.pieceType) {
    if (mind.swapUsed) return false;  // pressed, and refused
    out = Action::Swap;
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
  if (turns != 0 && ActionActs(p, turn)) {
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
    if (ActionActs(p, move)) {
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
  out = hardDrop && ActionActs(p, Action::Fall) ? Action::Fall : Action::SpeedUp;
  return true;
}

// Was the well lifted by garbage (every row moved up by the same count, new
// rows below), rather than changed by a lock?
bool Lifted(const uint16_t (&before)[WELL_ROWS], const Rows& now) {
  for (int g = 1; g < WELL_ROWS; ++g) {
    if (std::memcmp(now.row, before + g, sizeof before[0] * (WELL_ROWS - g)) == 0) return true;
  }
  return false;
}

// Something new to react to: a new piece (the match's first one too), or the
// old one on new ground. A new piece also draws whether it is misjudged, and
// how badly.
void NoteChange(ComputerMind& mind, const ComputerLevel& rules, const Rows& well) {
  const bool garbage = mind.plans != 0 && Lifted(mind.seenRows, well);
  std::memcpy(mind.seenRows, well.row, sizeof mind.seenRows);
  mind.waitFrames = (garbage ? rules.garbageReactFrames : rules.reactFrames) - 1;
  if (garbage) return;
  mind.worseRank = 0;
  if (rules.worsePercent <= 0 || rules.worseAmong < 2) return;
  if (DrawBelow(mind.random, 100) < static_cast<uint32_t>(rules.worsePercent)) {
    mind.worseRank = 1 + static_cast<int32_t>(DrawBelow(mind.random, static_cast<uint32_t>(rules.worseAmong - 1)));
  }
}

// The action as the level lets it go: a press (an action that acts this
// frame, a held key's repeat included) sooner than the level's gap after the
// last one is held back by releasing the key. A key held through its repeat
// delay is no press and stays held.
Action Paced(int p, ComputerMind& mind, const ComputerLevel& rules, Action a) {
  if (a == Action::NoAction || !ActionActs(p, a)) return a;
  if (mind.sincePress < rules.pressGapFrames) return Action::NoAction;
  mind.sincePress = 0;
  if (a == Action::Swap) mind.swapUsed = true;
  return a;
}
}  // namespace

void ResetComputer() {
  computerState = ComputerState{};
  const uint64_t match = (static_cast<uint64_t>(randState) << 32) ^
                         (static_cast<uint64_t>(static_cast<uint32_t>(gameState.rngSeed[0])) << 16) ^
                         static_cast<uint32_t>(gameState.rngSeed[1]);
  for (int p = 0; p < PLAYERS; ++p) computerState.mind[p].random = MixBits64(match + static_cast<uint64_t>(p));
}

Action ComputerAction(int p, int32_t level) {
  if (!ValidPlayer(p)) return Action::NoAction;
  // A paused match waits for a person: the computer never resumes it.
  if (gameState.gameOver[p] || gameState.paused) return Action::NoAction;
  if (PieceTypeOf(gameState.curPiece[p], 16) < 0) return Action::NoAction;
  ComputerMind& mind = computerState.mind[p];
  const ComputerLevel& rules = ComputerLevelRules(level);
  mind.level = level;
  if (mind.sincePress < rules.pressGapFrames) mind.sincePress += 1;
  Rows well;
  ReadWell(gameState.board[p], well, true);
  if (mind.plans == 0 || std::memcmp(well.row, mind.seenRows, sizeof mind.seenRows) != 0) {
    // A lock, a clear or garbage: a new piece, or the old one on new ground.
    mind.swapUsed = false;
    mind.plan.valid = false;
    NoteChange(mind, rules, well);
  }
  // Lifted above the top by garbage, the piece can neither turn nor move;
  // the plan is made once it is back in the well.
  const bool fits =
      MatrixFits(gameState.board[p], gameState.curPiece[p], gameState.pieceX[p], gameState.pieceY[p]);
  if (fits && !mind.plan.valid) PlanPlacement(p);
  // Thinking while it reacts: the plan is made, nothing pressed yet.
  if (mind.waitFrames > 0) {
    mind.waitFrames -= 1;
    return Action::NoAction;
  }
  if (!fits) {
    // One row down brings it back into the well (or locks it where gravity
    // would).
    mind.plan.valid = false;
    return Paced(p, mind, rules, Action::SpeedUp);
  }
  Action a = Action::NoAction;
  if (Steer(p, mind, rules.hardDrop, a)) return Paced(p, mind, rules, a);
  PlanPlacement(p);
  if (Steer(p, mind, rules.hardDrop, a)) return Paced(p, mind, rules, a);
  const Action drop = rules.hardDrop ? Action::Fall : Action::SpeedUp;
  return Paced(p, mind, rules, ActionActs(p, drop) ? drop : Action::NoAction);
}
