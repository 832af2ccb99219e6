// Piece motion: fit test, rotation cycles and the kick search, landing row,
// locking with spawn and top-out, and the reset of a player.
#include <gtest/gtest.h>

#include "tests/engine/test_host.h"

namespace {

bool SameMatrix(const PieceMatrix a, const PieceMatrix b) {
  for (int j = 0; j < 16; ++j) {
    if (a[j] != b[j]) return false;
  }
  return true;
}

void EmptyMatch() {
  StartTestMatch(1000);
  testHost.armCount = 0;
}

}  // namespace

TEST(PieceMotion, LoadTemplateAndMeasures) {
  PieceMatrix m;
  for (int32_t& v : m) v = 9;
  LoadTemplate(m, PieceTable[3]);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(4, m[i * 4]) << i;
    for (int k = 1; k < 4; ++k) EXPECT_EQ(0, m[i * 4 + k]) << i << "," << k;
  }
  EXPECT_EQ(4, PieceWidth(m));
  EXPECT_EQ(1, LastColumnDepth(m));
  LoadTemplate(m, PieceTable[2]);
  EXPECT_EQ(1, LastColumnDepth(m)) << "rightmost column only";
  PieceMatrix empty = {};
  EXPECT_EQ(0, PieceWidth(empty));
  EXPECT_EQ(0, LastColumnDepth(empty));
}

// The clockwise cycle of every template with its measures; four turns give
// the stored form back and a counter-clockwise turn undoes a clockwise one.
TEST(PieceMotion, RotationCycles) {
  const int cycle[7] = {4, 4, 4, 2, 1, 2, 2};
  const int measures[7][4][2] = {{{3, 2}, {2, 3}, {3, 2}, {2, 1}}, {{3, 2}, {2, 3}, {3, 1}, {2, 3}},
                                 {{3, 1}, {2, 3}, {3, 2}, {2, 2}}, {{4, 1}, {1, 4}},
                                 {{2, 2}},                         {{3, 2}, {2, 2}},
                                 {{3, 1}, {2, 3}}};
  for (int t = 0; t < 7; ++t) {
    EmptyMatch();
    PlacePiece(0, t, 3, 5);
    PieceMatrix stored;
    LoadTemplate(stored, PieceTable[t]);
    for (int n = 0; n < 4; ++n) {
      const int o = n % cycle[t];
      EXPECT_EQ(measures[t][o][0], PieceWidth(gameState.curPiece[0])) << t << " turn " << n;
      EXPECT_EQ(measures[t][o][1], LastColumnDepth(gameState.curPiece[0])) << t << " turn " << n;
      EXPECT_EQ(o == 0, SameMatrix(stored, gameState.curPiece[0])) << t << " turn " << n;
      PieceMatrix before;
      for (int j = 0; j < 16; ++j) before[j] = gameState.curPiece[0][j];
      RotatePiece(0, true);
      RotatePiece(0, false);
      EXPECT_TRUE(SameMatrix(before, gameState.curPiece[0])) << t << " turn " << n;
      RotatePiece(0, true);
    }
    EXPECT_TRUE(SameMatrix(stored, gameState.curPiece[0])) << t;
    EXPECT_EQ(3, gameState.pieceX[0]);
    EXPECT_EQ(5, gameState.pieceY[0]);
    EXPECT_EQ(0, testHost.armCount) << "turns in place never re-arm gravity";
  }
}

TEST(PieceMotion, KickSearch) {
  // A vertical bar at column 9 turns to horizontal three columns to the left.
  EmptyMatch();
  PlacePiece(0, 3, 0, 4);
  RotatePiece(0, true);
  ASSERT_EQ(1, PieceWidth(gameState.curPiece[0]));
  gameState.pieceX[0] = 9;
  gameState.level[0] = 3;
  RotatePiece(0, true);
  EXPECT_EQ(6, gameState.pieceX[0]);
  EXPECT_EQ(4, gameState.pieceY[0]);
  EXPECT_EQ(1, testHost.armCount);
  EXPECT_EQ(250u, testHost.lastArm[0]) << "1000 / (level + 1)";

  // A horizontal bar on the floor turns upright three rows higher.
  EmptyMatch();
  PlacePiece(1, 3, 2, 19);
  RotatePiece(1, false);
  EXPECT_EQ(2, gameState.pieceX[1]);
  EXPECT_EQ(16, gameState.pieceY[1]);
  EXPECT_EQ(1000u, testHost.lastArm[1]);

  // The search's order and bounds, each case a board only that rule passes:
  // every upward kick before a sideways one (an upright bar one left would
  // fit, two up is taken);
  EmptyMatch();
  PlacePiece(0, 3, 1, 14);
  gameState.board[0][1 * 20 + 16] = 5;
  RotatePiece(0, false);
  EXPECT_EQ(1, gameState.pieceX[0]);
  EXPECT_EQ(12, gameState.pieceY[0]) << "up before left";
  // up and left together before further left;
  EmptyMatch();
  PlacePiece(0, 3, 0, 4);
  RotatePiece(0, true);
  gameState.pieceX[0] = 7;
  gameState.pieceY[0] = 6;
  gameState.board[0][8 * 20 + 6] = 5;
  RotatePiece(0, true);
  EXPECT_EQ(6, gameState.pieceX[0]);
  EXPECT_EQ(5, gameState.pieceY[0]) << "one left and one up, not three left";
  // sideways as far as the turned piece's width (1: the upright bar), here
  // with three up beside a settled cell;
  EmptyMatch();
  PlacePiece(1, 3, 2, 19);
  gameState.board[1][2 * 20 + 17] = 5;
  RotatePiece(1, true);
  EXPECT_EQ(1, gameState.pieceX[1]);
  EXPECT_EQ(16, gameState.pieceY[1]);
  // up as far as the depth of its last column (1 here), not its height.
  EmptyMatch();
  PlacePiece(0, 0, 3, 5);
  RotatePiece(0, true);
  RotatePiece(0, true);
  gameState.pieceX[0] = 0;
  gameState.pieceY[0] = 18;
  RotatePiece(0, true);
  EXPECT_EQ(0, gameState.pieceX[0]);
  EXPECT_EQ(17, gameState.pieceY[0]);
  EXPECT_EQ(1, testHost.armCount) << "kicked";
  RotatePiece(0, false);
  gameState.pieceY[0] = 18;
  gameState.board[0][1 * 20 + 17] = 5;
  RotatePiece(0, true);
  EXPECT_EQ(18, gameState.pieceY[0]) << "two up would fit, but is past the depth: refused";
  EXPECT_EQ(3, PieceWidth(gameState.curPiece[0]));

  // No offset fits: matrix and position exactly as before, no re-arm.
  EmptyMatch();
  PlacePiece(0, 3, 0, 0);
  RotatePiece(0, true);
  gameState.board[0][1 * 20 + 0] = 5;
  PieceMatrix before;
  for (int j = 0; j < 16; ++j) before[j] = gameState.curPiece[0][j];
  RotatePiece(0, true);
  EXPECT_TRUE(SameMatrix(before, gameState.curPiece[0]));
  EXPECT_EQ(0, gameState.pieceX[0]);
  EXPECT_EQ(0, gameState.pieceY[0]);
  EXPECT_EQ(0, testHost.armCount);

  // Above the top (lifted by garbage) a piece neither turns nor moves.
  PlacePiece(0, 0, 4, -1);
  RotatePiece(0, true);
  ShiftPiece(0, 1);
  LoadTemplate(before, PieceTable[0]);
  EXPECT_TRUE(SameMatrix(before, gameState.curPiece[0]));
  EXPECT_EQ(4, gameState.pieceX[0]);
}

TEST(PieceMotion, FitAndLandingRow) {
  EmptyMatch();
  PlacePiece(0, 3, 6, 0);
  EXPECT_TRUE(PieceFits(0, 0, 0));
  EXPECT_FALSE(PieceFits(0, 1, 0)) << "right edge";
  EXPECT_FALSE(PieceFits(0, 0, 20)) << "below the floor";
  EXPECT_FALSE(PieceFits(0, 0, -1)) << "origin above the top";
  EXPECT_FALSE(PieceFits(0, -7, 0)) << "origin left of the well";
  EXPECT_EQ(19, LandingRow(0));
  gameState.board[0][7 * 20 + 12] = 2;
  EXPECT_EQ(11, LandingRow(0)) << "rests on a settled cell";
  gameState.pieceY[0] = 11;
  EXPECT_EQ(11, LandingRow(0));
  gameState.pieceY[0] = -3;
  EXPECT_EQ(-3, LandingRow(0)) << "the current position is not tested";

  // An empty matrix fits everywhere; the landing row still ends, at the floor.
  for (int32_t& v : gameState.curPiece[0]) v = 0;
  gameState.pieceY[0] = 0;
  EXPECT_EQ(19, LandingRow(0));
}

TEST(PieceMotion, StepDownLocksSpawnsAndTopsOut) {
  EmptyMatch();
  PlacePiece(0, 4, 0, 17);
  StepDown(0);
  EXPECT_EQ(18, gameState.pieceY[0]);
  const int32_t next0 = gameState.nextPiece[0][0];
  StepDown(0);  // locks: 2630 from the stream becomes the next piece (template 0)
  EXPECT_EQ(5, gameState.board[0][0 * 20 + 18]);
  EXPECT_EQ(5, gameState.board[0][1 * 20 + 19]);
  EXPECT_EQ(next0, gameState.curPiece[0][0]);
  EXPECT_EQ(2630, gameState.rngSeed[0]);
  EXPECT_EQ(3, gameState.pieceX[0]);
  EXPECT_EQ(0, gameState.pieceY[0]);
  EXPECT_FALSE(gameState.gameOver[0]);

  // Lifted one row above the top, a piece moves down to row 0.
  PlacePiece(0, 4, 5, -1);
  StepDown(0);
  EXPECT_EQ(0, gameState.pieceY[0]);
  // Lifted two rows, it locks where it is: only the cells inside are kept.
  PlacePiece(0, 3, 5, 0);
  RotatePiece(0, true);  // upright bar in column 5, rows 0 to 3
  gameState.pieceY[0] = -2;
  StepDown(0);
  int settled = 0;
  for (int32_t v : gameState.board[0]) settled += v != 0;
  EXPECT_EQ(4 + 2, settled) << "the square and rows 0 and 1 of the bar";
  EXPECT_EQ(4, gameState.board[0][5 * 20 + 0]);
  EXPECT_EQ(4, gameState.board[0][5 * 20 + 1]);
  EXPECT_EQ(0, gameState.board[0][5 * 20 + 2]);

  // The spawn is blocked: out, and the new piece is not written.
  for (int32_t& v : gameState.board[0]) v = 0;
  gameState.board[0][4 * 20 + 0] = 7;
  for (int j = 0; j < 8; ++j) gameState.nextPiece[0][j] = PieceTable[3][j];
  PlacePiece(0, 4, 0, 18);
  StepDown(0);
  EXPECT_TRUE(gameState.gameOver[0]);
  settled = 0;
  for (int32_t v : gameState.board[0]) settled += v != 0;
  EXPECT_EQ(5, settled) << "the locked square and the blocker only";
  EXPECT_EQ(4, gameState.curPiece[0][0]) << "the blocked piece stays the falling one";
}

TEST(PieceMotion, ResetPlayerTouchesOnlyItsFields) {
  EmptyMatch();
  gameState.shadowOn[0] = 2;
  gameState.drawBoard[0][7] = 3;
  gameState.score[1] = 42;
  gameState.paused = true;
  gameState.repeatDelay[0] = 9;
  gameState.gravityFreeze[0] = 10;
  gameState.forcedDrops[0] = 1;
  gameState.previewBlind[0] = 500;
  gameState.speedChanged[0] = true;
  gameState.level[0] = 4;
  gameState.score[0] = -5;
  gameState.gameOver[0] = true;
  gameState.lastAction[0] = Action::Left;
  FillRow(0, 19, -1);
  PlacePiece(0, 3, 0, 12);
  ResetPlayer(0);
  EXPECT_EQ(3, gameState.pieceX[0]);
  EXPECT_EQ(0, gameState.pieceY[0]);
  EXPECT_EQ(0, gameState.board[0][5 * 20 + 19]);
  EXPECT_EQ(Action::NoAction, gameState.lastAction[0]);
  EXPECT_EQ(0, gameState.repeatDelay[0] + gameState.gravityFreeze[0] + gameState.forcedDrops[0] +
                   gameState.previewBlind[0] + gameState.level[0] + gameState.score[0]);
  EXPECT_FALSE(gameState.speedChanged[0]);
  EXPECT_FALSE(gameState.gameOver[0]);
  EXPECT_FALSE(gameState.paused);
  EXPECT_EQ(1000u, testHost.lastArm[0]);
  EXPECT_EQ(2, gameState.shadowOn[0]);
  EXPECT_EQ(3, gameState.drawBoard[0][7]);
  EXPECT_EQ(42, gameState.score[1]);
}
