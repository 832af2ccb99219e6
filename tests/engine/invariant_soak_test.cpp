// The invariant soak: random matches with random held actions and random
// interleavings of frame and gravity ticks, every invariant checked after
// every step.
#include <gtest/gtest.h>

#include "engine/xorshift.h"
#include "tests/engine/test_host.h"

namespace {

bool Normalised(const PieceMatrix m) {
  bool column0 = false, row0 = false;
  for (int k = 0; k < 4; ++k) column0 = column0 || m[k] != 0;
  for (int i = 0; i < 4; ++i) row0 = row0 || m[i * 4] != 0;
  return column0 && row0;
}

// Returns "" when every invariant holds, else what broke.
const char* Broken() {
  for (int p = 0; p < 2; ++p) {
    for (int32_t v : gameState.board[p]) {
      if (v < 0 || v > 7) return "board cell outside 0..7";
    }
    for (int32_t v : gameState.drawBoard[p]) {
      if (v < 0 || v > 8) return "drawBoard cell outside 0..8";
    }
    for (int32_t v : gameState.curPiece[p]) {
      if (v < 0 || v > 7) return "piece cell outside 0..7";
    }
    if (!Normalised(gameState.curPiece[p])) return "falling piece not normalised";
    const int x = gameState.pieceX[p];
    if (x < 0 || x + PieceWidth(gameState.curPiece[p]) > WELL_COLUMNS) return "piece column outside the well";
    if (gameState.pieceY[p] >= WELL_ROWS) return "piece row below the well";
    // In play, the piece fits where it is unless garbage lifted it above the top.
    if (!gameState.gameOver[p] && gameState.pieceY[p] >= 0 && !PieceFits(p, 0, 0)) return "piece overlaps";
    if (gameState.repeatDelay[p] < 0 || gameState.repeatDelay[p] > LONG_DELAY) return "repeat delay";
    if (gameState.gravityFreeze[p] < 0 || gameState.forcedDrops[p] < 0 || gameState.previewBlind[p] < 0) {
      return "negative counter";
    }
    if (gameState.level[p] < 0) return "negative level";
    const int32_t a = static_cast<int32_t>(gameState.lastAction[p]);
    if (a < 0 || a > 8) return "lastAction outside the actions";
  }
  return "";
}

}  // namespace

TEST(InvariantSoak, RandomMatches) {
  Xorshift64 rng = {0x9e3779b97f4a7c15ull};
  int64_t steps = 0;
  int32_t outs = 0;
  for (int match = 0; match < 3000; ++match) {
    StartTestMatch(rng.Below(0xFFFFFFFFu) + (match & 1 ? 0x80000000u : 0u));
    gameState.shadowOn[0] = static_cast<uint8_t>(rng.Below(256));
    gameState.shadowOn[1] = static_cast<uint8_t>(rng.Below(3));
    Action held[2] = {Action::NoAction, Action::NoAction};
    for (int step = 0; step < 400 && !(gameState.gameOver[0] && gameState.gameOver[1]); ++step) {
      for (int p = 0; p < 2; ++p) {
        // Inputs are held for a while, as people do; Pause is rare, and
        // Left, Right and the drops common enough to fill wells and clear rows.
        if (rng.Below(4) == 0) {
          const uint32_t r = rng.Below(40);
          held[p] = r == 0 ? Action::Pause : static_cast<Action>(r % 9 == 6 ? 8 : r % 9);
        }
        testHost.held[p] = held[p];
      }
      const uint32_t what = rng.Below(8);
      if (what < 5) {
        FrameTick();
      } else {
        GravityTick(static_cast<int>(what & 1));
      }
      ++steps;
      const char* broken = Broken();
      ASSERT_STREQ("", broken) << "match " << match << ", step " << step;
    }
    outs += gameState.gameOver[0] + gameState.gameOver[1];
  }
  EXPECT_LT(1000, outs) << "the soak should reach top-outs; " << steps << " steps";
}
