// Player actions and ticks: the repeat-delay rule, the frame tick for both
// players and the per-player gravity tick with the attack counters.
#include <cassert>

#include "engine/engine.h"

namespace {

void SwapWithBox(int p) {
  PieceMatrix& cur = gameState.curPiece[p];
  PieceMatrix& box = gameState.swapPiece;
  for (int j = 0; j < 16; ++j) {
    const int32_t v = cur[j];
    cur[j] = box[j];
    box[j] = v;
  }
  if (PieceFits(p, 0, 0)) {
    // Wrapping subtraction: the score may go negative, never undefined.
    gameState.score[p] = static_cast<int32_t>(static_cast<uint32_t>(gameState.score[p]) -
                                              static_cast<uint32_t>(SWAP_COST));
    matchFigures.now[p].swaps += 1;
    return;
  }
  for (int j = 0; j < 16; ++j) {
    const int32_t v = cur[j];
    cur[j] = box[j];
    box[j] = v;
  }
}

}  // namespace

uint32_t GravityPeriod(int32_t level) {
  // Unsigned, as the timer takes it. Level -1 would divide by zero and
  // INT32_MAX + 1 would overflow: the sum is taken modulo 2^32 and a zero
  // divisor plays as level 0. Levels past 999 (and negative ones) give 0 ms,
  // which a host runs at its timer minimum.
  const uint32_t divisor = static_cast<uint32_t>(level) + 1u;
  return divisor == 0 ? GRAVITY_BASE_MS : GRAVITY_BASE_MS / divisor;
}

bool ActionActs(int p, Action a) {
  return a != Action::NoAction && (gameState.repeatDelay[p] == 0 || a != gameState.lastAction[p]);
}

void ApplyAction(int p) {
  assert(ValidPlayer(p));
  if (gameState.gameOver[p]) return;
  const Action a = ActionSource(p);
  if (!ActionActs(p, a)) {
    if (gameState.repeatDelay[p] != 0) gameState.repeatDelay[p] -= 1;
    return;
  }
  gameState.repeatDelay[p] = REPEAT_DELAY;
  gameState.lastAction[p] = a;
  if (gameState.paused) {
    if (a == Action::Pause) {
      gameState.paused = false;
      PlaySoundEvent(MATCH_WIDE, SoundEvent::PauseEnded);
    }
    return;
  }
  switch (a) {
    case Action::SpeedUp:
      StepDown(p);
      return;
    case Action::Left:
      ShiftPiece(p, -1);
      return;
    case Action::Right:
      ShiftPiece(p, 1);
      return;
    case Action::RotateCW:
      RotatePiece(p, true);
      gameState.repeatDelay[p] = ROTATE_DELAY;
      return;
    case Action::RotateCCW:
      RotatePiece(p, false);
      gameState.repeatDelay[p] = ROTATE_DELAY;
      return;
    case Action::Swap:
      SwapWithBox(p);
      gameState.repeatDelay[p] = LONG_DELAY;
      return;
    case Action::Pause:
      gameState.paused = true;
      PlaySoundEvent(MATCH_WIDE, SoundEvent::PauseStarted);
      return;
    case Action::Fall:
      gameState.pieceY[p] = LandingRow(p);
      StepDown(p);
      gameState.repeatDelay[p] = LONG_DELAY;
      return;
    case Action::NoAction:
      return;
  }
  // A value outside the enumeration (a faulty source) is ignored like
  // NoAction, though it has taken the delay.
}

void FrameTick() {
  EndMatchIfOver();
  if (matchFigures.running && !gameState.paused) {
    matchFigures.frames += 1;
    for (int p = 0; p < PLAYERS; ++p) matchFigures.now[p].frames += gameState.gameOver[p] ? 0 : 1;
  }
  for (int p = 0; p < PLAYERS; ++p) {
    ClearWellImage(p);
    ApplyAction(p);
    if (gameState.gameOver[p] || gameState.paused) {
      DrawTitle(p);
    } else {
      ClearLines(p);
      DrawPlayer(p);
    }
  }
  DrawSwapBox();
  RequestRepaint();
}

void GravityTick(int p) {
  assert(ValidPlayer(p));
  if (!gameState.gameOver[p] && !gameState.paused) {
    if (gameState.gravityFreeze[p] != 0) {
      gameState.gravityFreeze[p] -= 1;
    } else {
      if (gameState.forcedDrops[p] != 0) {
        gameState.forcedDrops[p] -= 1;
        gameState.pieceY[p] = LandingRow(p);
      }
      StepDown(p);
      if (gameState.speedChanged[p]) {
        ArmGravityTimer(p, GravityPeriod(gameState.level[p]));
        gameState.speedChanged[p] = false;
      }
    }
  }
  RequestRepaint();
}
