// Piece motion: the fit test, shifts, rotation with its kick search, the
// landing row, the one-row step with locking and top-out, and the reset.
#include <cassert>

#include "engine/engine.h"

namespace {

bool ColumnEmpty(const PieceMatrix m, int i) {
  return m[i * 4 + 0] == 0 && m[i * 4 + 1] == 0 && m[i * 4 + 2] == 0 && m[i * 4 + 3] == 0;
}

bool RowEmpty(const PieceMatrix m, int k) {
  return m[0 * 4 + k] == 0 && m[1 * 4 + k] == 0 && m[2 * 4 + k] == 0 && m[3 * 4 + k] == 0;
}

void AssertPlayer(int p) {
  assert(ValidPlayer(p));
  (void)p;
}

}  // namespace

int PieceWidth(const PieceMatrix m) {
  for (int i = 3; i >= 0; --i) {
    if (!ColumnEmpty(m, i)) return i + 1;
  }
  return 0;
}

int LastColumnDepth(const PieceMatrix m) {
  int depth = 0;
  for (int i = 0; i < 4; ++i) {
    for (int k = 3; k >= 0; --k) {
      if (m[i * 4 + k] != 0) {
        depth = k + 1;
        break;
      }
    }
  }
  return depth;
}

bool MatrixFits(const Board& board, const PieceMatrix m, int x, int y) {
  // The origin is tested, not the cells: a piece above the top never fits.
  if (x < 0 || y < 0) return false;
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 4; ++k) {
      if (m[i * 4 + k] == 0) continue;
      const int c = x + i;
      const int r = y + k;
      if (c >= WELL_COLUMNS || r >= WELL_ROWS) return false;
      if (board[c * WELL_ROWS + r] != 0) return false;
    }
  }
  return true;
}

bool PieceFits(int p, int dx, int dy) {
  AssertPlayer(p);
  return MatrixFits(gameState.board[p], gameState.curPiece[p], gameState.pieceX[p] + dx,
                    gameState.pieceY[p] + dy);
}

void ShiftPiece(int p, int dx) {
  if (PieceFits(p, dx, 0)) gameState.pieceX[p] += dx;
}

void NormaliseMatrix(PieceMatrix m) {
  // At most three moves each way: an empty matrix stops after the first.
  for (int moves = 0; moves < 3 && ColumnEmpty(m, 0); ++moves) {
    bool carried = false;
    for (int i = 0; i < 3; ++i) {
      for (int k = 0; k < 4; ++k) {
        m[i * 4 + k] = m[(i + 1) * 4 + k];
        carried = carried || m[i * 4 + k] != 0;
      }
    }
    for (int k = 0; k < 4; ++k) m[3 * 4 + k] = 0;
    if (!carried) break;
  }
  for (int moves = 0; moves < 3 && RowEmpty(m, 0); ++moves) {
    bool carried = false;
    for (int k = 0; k < 3; ++k) {
      for (int i = 0; i < 4; ++i) {
        m[i * 4 + k] = m[i * 4 + k + 1];
        carried = carried || m[i * 4 + k] != 0;
      }
    }
    for (int i = 0; i < 4; ++i) m[i * 4 + 3] = 0;
    if (!carried) break;
  }
}

void NormalisePiece(int p) {
  AssertPlayer(p);
  NormaliseMatrix(gameState.curPiece[p]);
}

void TurnMatrix(PieceMatrix m, bool clockwise) {
  PieceMatrix kept;
  for (int j = 0; j < 16; ++j) kept[j] = m[j];
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 4; ++k) {
      const int32_t v = kept[i * 4 + k];
      if (clockwise) {
        m[(3 - k) * 4 + i] = v;
      } else {
        m[k * 4 + (3 - i)] = v;
      }
    }
  }
  NormaliseMatrix(m);
}

TurnResult TurnOnBoard(const Board& board, PieceMatrix m, int& x, int& y, bool clockwise) {
  if (!MatrixFits(board, m, x, y)) return TurnResult::Refused;
  PieceMatrix kept;
  for (int j = 0; j < 16; ++j) kept[j] = m[j];
  TurnMatrix(m, clockwise);
  if (MatrixFits(board, m, x, y)) return TurnResult::InPlace;

  // Kicks go left and up only; every upward kick is tried before a sideways one.
  const int w = PieceWidth(m);
  const int h = LastColumnDepth(m);
  for (int i = 0; i <= w; ++i) {
    for (int j = 0; j <= h; ++j) {
      if (MatrixFits(board, m, x - i, y - j)) {
        x -= i;
        y -= j;
        return TurnResult::Kicked;
      }
    }
  }
  for (int j = 0; j < 16; ++j) m[j] = kept[j];
  return TurnResult::Refused;
}

void RotatePiece(int p, bool clockwise) {
  AssertPlayer(p);
  const TurnResult turned = TurnOnBoard(gameState.board[p], gameState.curPiece[p], gameState.pieceX[p],
                                        gameState.pieceY[p], clockwise);
  if (turned == TurnResult::Kicked) ArmGravityTimer(p, GravityPeriod(gameState.level[p]));
}

int LandingRow(int p) {
  AssertPlayer(p);
  // Bounded by the well's height so that an empty matrix, which fits
  // everywhere, still ends; a real piece stops fitting before the bound.
  int k = 1;
  while (gameState.pieceY[p] + k < WELL_ROWS && PieceFits(p, 0, k)) ++k;
  return gameState.pieceY[p] + k - 1;
}

void StepDown(int p) {
  if (PieceFits(p, 0, 1)) {
    gameState.pieceY[p] += 1;
    return;
  }
  const int t = RandomDraw(p, PIECE_TYPES);
  PieceMatrix& m = gameState.curPiece[p];
  Board& board = gameState.board[p];
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 4; ++k) {
      const int32_t v = m[i * 4 + k];
      const int c = gameState.pieceX[p] + i;
      const int r = gameState.pieceY[p] + k;
      if (v != 0 && c >= 0 && c < WELL_COLUMNS && r >= 0 && r < WELL_ROWS) {
        board[c * WELL_ROWS + r] = v;
      }
    }
  }
  PlaySoundEvent(p, SoundEvent::PieceLocked);
  matchFigures.now[p].pieces += 1;
  LoadTemplate(m, gameState.nextPiece[p]);
  for (int j = 0; j < 8; ++j) gameState.nextPiece[p][j] = PieceTable[t][j];
  gameState.pieceX[p] = SPAWN_COLUMN;
  gameState.pieceY[p] = 0;
  if (!PieceFits(p, 0, 0)) {
    gameState.gameOver[p] = true;
    PlaySoundEvent(p, SoundEvent::PlayerOut);
    EndMatchIfOver();
  }
}

void ResetPlayer(int p) {
  AssertPlayer(p);
  gameState.pieceX[p] = SPAWN_COLUMN;
  gameState.pieceY[p] = 0;
  for (int32_t& cell : gameState.board[p]) cell = EMPTY;
  const int a = RandomDraw(p, PIECE_TYPES);
  const int b = RandomDraw(p, PIECE_TYPES);
  const int c = RandomDraw(SHARED_STREAM, PIECE_TYPES);
  for (int j = 0; j < 8; ++j) gameState.nextPiece[p][j] = PieceTable[a][j];
  LoadTemplate(gameState.curPiece[p], PieceTable[b]);
  LoadTemplate(gameState.swapPiece, PieceTable[c]);
  ArmGravityTimer(p, GRAVITY_BASE_MS);
  gameState.lastAction[p] = Action::NoAction;
  gameState.repeatDelay[p] = 0;
  gameState.score[p] = 0;
  gameState.level[p] = 0;
  gameState.gravityFreeze[p] = 0;
  gameState.previewBlind[p] = 0;
  gameState.forcedDrops[p] = 0;
  gameState.speedChanged[p] = false;
  gameState.gameOver[p] = false;
  gameState.paused = false;
  matchFigures.now[p] = PlayerFigures{};
  if (p == 0) {
    matchFigures.running = true;
    matchFigures.frames = 0;
    matchFigures.matchesStarted += 1;
  }
  // Start resets player 0 first: its reset is the match's start.
  if (p == 0) PlaySoundEvent(MATCH_WIDE, SoundEvent::MatchStarted);
}
