// The picture of a well for the renderer: settled cells, the ghost piece and
// the falling piece, composed into drawBoard.
#include <cassert>

#include "engine/engine.h"

void ComposeDrawBoard(int p) {
  assert(ValidPlayer(p));
  Board& out = gameState.drawBoard[p];
  for (int j = 0; j < WELL_COLUMNS * WELL_ROWS; ++j) out[j] = gameState.board[p][j];
  const int g = LandingRow(p);
  const int y = gameState.pieceY[p];
  const bool ghost = gameState.shadowOn[p] != 0;
  const PieceMatrix& m = gameState.curPiece[p];
  for (int i = 0; i < 4; ++i) {
    const int x = gameState.pieceX[p] + i;
    if (x < 0 || x >= WELL_COLUMNS) continue;
    for (int k = 0; k < 4; ++k) {
      const int32_t v = m[i * 4 + k];
      if (v == 0) continue;
      // The ghost is never above the piece, so the piece wins where they meet.
      if (ghost && g + k >= 0 && g + k < WELL_ROWS) out[x * WELL_ROWS + g + k] = GHOST;
      if (y + k >= 0 && y + k < WELL_ROWS) out[x * WELL_ROWS + y + k] = v;
    }
  }
}
