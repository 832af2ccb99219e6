// Line clearing: rows removed in one pass, score and level with truncating
// division, the attack table, garbage rows and the label texts.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/engine/test_host.h"

namespace {

int FullRowsAt(int p, int count) {
  for (int r = WELL_ROWS - count; r < WELL_ROWS; ++r) FillRow(p, r, -1, 3);
  return count;
}

}  // namespace

TEST(LineClearing, RowsRemovedInOnePass) {
  StartTestMatch(1000);
  FillRow(0, 17, -1, 1);
  FillRow(0, 18, 4, 2);  // not full: ends at the bottom
  FillRow(0, 19, -1, 3);
  gameState.board[0][0 * 20 + 16] = 6;
  ClearLines(0);
  EXPECT_EQ(3, gameState.score[0]) << "+1 and +2";
  EXPECT_EQ(2, gameState.board[0][0 * 20 + 19]);
  EXPECT_EQ(0, gameState.board[0][4 * 20 + 19]);
  EXPECT_EQ(6, gameState.board[0][0 * 20 + 18]);
  EXPECT_EQ(0, gameState.board[0][1 * 20 + 17]);
  EXPECT_EQ(500, gameState.previewBlind[1]) << "one garbage row";
  EXPECT_EQ(-1, gameState.pieceY[1]);

  // A full row 0 is emptied; nothing moves.
  StartTestMatch(1000);
  FillRow(0, 0, -1, 4);
  gameState.board[0][3 * 20 + 1] = 5;
  ClearLines(0);
  EXPECT_EQ(1, gameState.score[0]);
  EXPECT_EQ(0, gameState.board[0][3 * 20 + 0]);
  EXPECT_EQ(5, gameState.board[0][3 * 20 + 1]);
}

TEST(LineClearing, ScoreAndLevel) {
  struct Case {
    int32_t score, rows, score_after, level_rise;
  };
  const Case cases[] = {{8, 2, 11, 1},  {9, 1, 10, 1}, {-12, 3, -6, 1}, {-1, 1, 0, 0},
                        {-1, 2, 2, 0},  {0, 5, 15, 1}, {15, 4, 25, 1},  {-25, 1, -24, 0},
                        {-11, 1, -10, 0}};
  for (const Case& c : cases) {
    StartTestMatch(1000);
    gameState.score[0] = c.score;
    FullRowsAt(0, c.rows);
    ClearLines(0);
    EXPECT_EQ(c.score_after, gameState.score[0]) << c.score << " + " << c.rows << " rows";
    EXPECT_EQ(c.level_rise, gameState.level[0]) << c.score << " + " << c.rows << " rows";
    EXPECT_EQ(c.level_rise != 0, gameState.speedChanged[0]) << c.score;
  }
}

TEST(LineClearing, AttackTable) {
  const int32_t blind[6] = {0, 0, 500, 1000, 1500, 2000};
  const int32_t freeze[6] = {0, 0, 0, 10, 20, 30};
  const int32_t drops[6] = {0, 0, 0, 1, 2, 3};
  const int32_t rise[6] = {0, 0, 0, 0, 2, 4};
  for (int rows = 1; rows <= 5; ++rows) {
    for (int p = 0; p < 2; ++p) {
      StartTestMatch(1000);
      const int o = 1 - p;
      FullRowsAt(p, rows);
      ClearLines(p);
      EXPECT_EQ(-(rows - 1), gameState.pieceY[o]) << rows << " rows, player " << p;
      EXPECT_EQ(blind[rows], gameState.previewBlind[o]) << rows << " rows";
      EXPECT_EQ(freeze[rows], gameState.gravityFreeze[p]) << rows << " rows";
      EXPECT_EQ(drops[rows], gameState.forcedDrops[o]) << rows << " rows";
      EXPECT_EQ(rise[rows], gameState.level[o]) << rows << " rows";
      EXPECT_EQ(rows >= 4, gameState.speedChanged[o]) << rows << " rows";
      EXPECT_EQ(0, gameState.gravityFreeze[o] + gameState.forcedDrops[p] + gameState.previewBlind[p]);
    }
  }
}

TEST(LineClearing, GarbageRows) {
  StartTestMatch(1000);
  FillRow(1, 0, 2, 6);  // lost when the well lifts
  gameState.board[1][9 * 20 + 19] = 4;
  FullRowsAt(0, 2);
  // The colours and holes follow the shared stream from here, in order:
  // ten colours for columns 0 to 9, then three holes.
  uint32_t state = randState;
  int32_t expected[10];
  for (int c = 0; c < 10; ++c) {
    state = state * 214013u + 2531011u;
    expected[c] = static_cast<int32_t>(((state >> 16) & 0x7FFF) * 7 / 32767) + 1;
  }
  for (int h = 0; h < 3; ++h) {
    state = state * 214013u + 2531011u;
    int64_t column = ((state >> 16) & 0x7FFF) * 10 / 32767;
    expected[column > 9 ? 9 : column] = 0;
  }
  ClearLines(0);
  EXPECT_EQ(state, randState) << "thirteen shared draws for the one garbage row";
  int holes = 0;
  for (int c = 0; c < 10; ++c) {
    EXPECT_EQ(expected[c], gameState.board[1][c * 20 + 19]) << "column " << c;
    const int32_t v = gameState.board[1][c * 20 + 19];
    EXPECT_TRUE(v >= 0 && v <= 7) << v;
    holes += v == 0;
    EXPECT_EQ(0, gameState.board[1][c * 20 + 0]) << "old row 0 is lost, column " << c;
  }
  EXPECT_TRUE(holes >= 1 && holes <= 3) << holes;
  EXPECT_EQ(4, gameState.board[1][9 * 20 + 18]) << "the old bottom row rose one";
  EXPECT_EQ(-1, gameState.pieceY[1]);
}

TEST(LineClearing, LabelTexts) {
  StartTestMatch(1000);
  ClearLines(0);
  EXPECT_STREQ("0", testHost.scoreText[0]);
  EXPECT_STREQ("1", testHost.levelText[0]);
  EXPECT_EQ(0, testHost.labelCalls[1]) << "the opponent's texts wait for its own call";
  gameState.score[1] = -2147483647 - 1;
  gameState.level[1] = 2147483647;
  ClearLines(1);
  EXPECT_STREQ("-2147483648", testHost.scoreText[1]);
  EXPECT_STREQ("2147483648", testHost.levelText[1]);
  // The largest score plus a row wraps rather than overflowing.
  gameState.score[0] = 2147483647;
  FullRowsAt(0, 1);
  ClearLines(0);
  EXPECT_STREQ("-2147483648", testHost.scoreText[0]);
}

// A player out is heard once; an attack on a player who is out is not heard
// on that side, and a preview already blank does not go blank again.
TEST(ScriptedMatch, SoundsOfAnEnd) {
  StartTestMatch(1000);
  for (int r = 0; r < WELL_ROWS; ++r) FillRow(1, r, r < 2 ? 0 : 9 - r % 10, 5);
  PlacePiece(1, 3, 5, 0);
  StepDown(1);
  EXPECT_TRUE(gameState.gameOver[1]);
  EXPECT_EQ(1, Heard(1, SoundEvent::PieceLocked));
  EXPECT_EQ(1, Heard(1, SoundEvent::PlayerOut));
  FullRowsAt(0, 3);
  ClearLines(0);
  EXPECT_EQ(1, Heard(0, SoundEvent::ThreeRows));
  EXPECT_EQ(2, HeardInAll(1)) << "no garbage heard by a player who is out";

  StartTestMatch(1000);
  gameState.previewBlind[1] = 7;
  FullRowsAt(0, 2);
  ClearLines(0);
  EXPECT_EQ(1, Heard(0, SoundEvent::TwoRows));
  EXPECT_EQ(1, Heard(1, SoundEvent::GarbageArrived));
  EXPECT_EQ(0, Heard(1, SoundEvent::PreviewBlank)) << "already blank";
  FullRowsAt(0, 1);
  ClearLines(0);
  EXPECT_EQ(1, Heard(0, SoundEvent::OneRow));
  EXPECT_EQ(1, Heard(1, SoundEvent::GarbageArrived)) << "one row attacks nobody";
}
