// Composition of drawBoard: settled cells, ghost (any nonzero shadow byte)
// and falling piece, with cells outside the well skipped.
#include <gtest/gtest.h>

#include "tests/engine/test_host.h"

TEST(BoardComposition, GhostAndPiece) {
  StartTestMatch(1000);
  PlacePiece(0, 4, 2, 3);
  gameState.board[0][9 * 20 + 19] = 6;
  for (int32_t& v : gameState.drawBoard[0]) v = 0xbd;
  gameState.shadowOn[0] = 2;  // a stored byte other than 1 still means on
  ComposeDrawBoard(0);
  EXPECT_EQ(6, gameState.drawBoard[0][9 * 20 + 19]);
  EXPECT_EQ(5, gameState.drawBoard[0][2 * 20 + 3]);
  EXPECT_EQ(5, gameState.drawBoard[0][3 * 20 + 4]);
  EXPECT_EQ(GHOST, gameState.drawBoard[0][2 * 20 + 18]);
  EXPECT_EQ(GHOST, gameState.drawBoard[0][3 * 20 + 19]);
  int marked = 0;
  for (int32_t v : gameState.drawBoard[0]) marked += v != 0;
  EXPECT_EQ(9, marked) << "every other cell copied from the empty board";

  gameState.shadowOn[0] = 0;
  ComposeDrawBoard(0);
  EXPECT_EQ(0, gameState.drawBoard[0][2 * 20 + 18]);

  // Resting on the floor: ghost and piece coincide and the piece shows.
  gameState.shadowOn[0] = 1;
  gameState.pieceY[0] = 18;
  ComposeDrawBoard(0);
  EXPECT_EQ(5, gameState.drawBoard[0][2 * 20 + 18]);
  EXPECT_EQ(5, gameState.drawBoard[0][3 * 20 + 19]);
}

TEST(BoardComposition, PieceAboveTheTop) {
  StartTestMatch(1000);
  PlacePiece(1, 3, 5, 0);
  RotatePiece(1, true);  // upright bar, rows 0 to 3 of the matrix
  gameState.pieceY[1] = -2;
  gameState.shadowOn[1] = 1;
  ComposeDrawBoard(1);
  EXPECT_EQ(4, gameState.drawBoard[1][5 * 20 + 0]);
  EXPECT_EQ(4, gameState.drawBoard[1][5 * 20 + 1]);
  EXPECT_EQ(0, gameState.drawBoard[1][5 * 20 + 2]);
  EXPECT_EQ(0, gameState.drawBoard[1][5 * 20 + 19]) << "a lifted piece has no ghost below";
  EXPECT_EQ(0, gameState.drawBoard[1][6 * 20 + 0]);
}

// Every value drawBoard may hold has one colour; a stray value reads as
// empty instead of indexing past the colour set.
TEST(BoardComposition, CellColours) {
  EXPECT_EQ(0xFFFFFFu, CellColour(EMPTY));
  EXPECT_EQ(0xFFu, CellColour(1)) << "shape 1, red";
  EXPECT_EQ(0x7FFFu, CellColour(7)) << "shape 7, orange";
  EXPECT_EQ(0x000000u, CellColour(GHOST));
  for (int32_t stray : {-1, 9, INT32_MIN, INT32_MAX}) EXPECT_EQ(0xFFFFFFu, CellColour(stray)) << stray;
}
