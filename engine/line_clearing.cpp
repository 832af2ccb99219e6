// Line clearing: full rows, score and level, the attack on the opponent, and
// the score and level texts.
#include <cassert>

#include "engine/engine.h"

namespace {

// Score and level are 32-bit counters that wrap rather than overflow: a
// wrapped value is wrong but harmless, an overflow is undefined behaviour.
int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

bool RowFull(const Board& board, int r) {
  for (int c = 0; c < WELL_COLUMNS; ++c) {
    if (board[c * WELL_ROWS + r] == 0) return false;
  }
  return true;
}

void RemoveRow(Board& board, int r) {
  for (int c = 0; c < WELL_COLUMNS; ++c) {
    int32_t* column = &board[c * WELL_ROWS];
    for (int k = r; k >= 1; --k) column[k] = column[k - 1];
    column[0] = EMPTY;
  }
}

// Lifts o's well and falling piece by one row and fills the bottom row with
// a garbage row of random colours and one to three holes.
void PushGarbageRow(int o) {
  gameState.pieceY[o] -= 1;
  Board& board = gameState.board[o];
  for (int c = 0; c < WELL_COLUMNS; ++c) {
    int32_t* column = &board[c * WELL_ROWS];
    for (int k = 0; k < WELL_ROWS - 1; ++k) column[k] = column[k + 1];
  }
  const int bottom = WELL_ROWS - 1;
  for (int c = 0; c < WELL_COLUMNS; ++c) {
    board[c * WELL_ROWS + bottom] = RandomDraw(SHARED_STREAM, PIECE_TYPES) + 1;
  }
  for (int h = 0; h < 3; ++h) {
    board[RandomDraw(SHARED_STREAM, WELL_COLUMNS) * WELL_ROWS + bottom] = EMPTY;
  }
  gameState.previewBlind[o] += PREVIEW_BLIND_FRAMES;
}

// "%i" of a 64-bit value by hand: the same text as the C library's, at a
// fraction of the cost on every frame tick.
void FormatDecimal(char* text, int64_t value) {
  char digits[24];
  int n = 0;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *text++ = '-';
  while (n > 0) *text++ = digits[--n];
  *text = '\0';
}

}  // namespace

void ClearLines(int p) {
  assert(ValidPlayer(p));
  const int o = 1 - p;
  Board& board = gameState.board[p];
  int32_t count = 0;
  const bool previewShown = gameState.previewBlind[o] == 0;
  for (int r = 0; r < WELL_ROWS; ++r) {
    if (!RowFull(board, r)) continue;
    count += 1;
    const int32_t before = gameState.score[p];
    gameState.score[p] = WrapAdd(before, count);
    // Truncating division: between -9 and 9 the quotient is 0, so the step
    // from -1 to 0 or from 0 to 2 raises nothing.
    if (gameState.score[p] / LEVEL_SCORE_STEP > before / LEVEL_SCORE_STEP) {
      gameState.level[p] = WrapAdd(gameState.level[p], 1);
      gameState.speedChanged[p] = true;
    }
    RemoveRow(board, r);
  }

  matchFigures.now[p].rows += count;
  if (count >= 2) {
    matchFigures.now[p].sent += count - 1;
    matchFigures.sentInRun[p] += count - 1;
  }
  for (int32_t d = count; d >= 1; --d) {
    if (d >= 2) PushGarbageRow(o);
    if (d >= 3) {
      gameState.gravityFreeze[p] += FREEZE_PER_ATTACK;
      gameState.forcedDrops[o] += 1;
    }
    if (d >= 4) {
      gameState.level[o] = WrapAdd(gameState.level[o], 2);
      gameState.speedChanged[o] = true;
    }
  }

  if (count >= 1) {
    // A piece fills at most four rows; more at once (a board made by a test
    // or a fuzzer) sound as four.
    const SoundEvent rows[] = {SoundEvent::OneRow, SoundEvent::TwoRows, SoundEvent::ThreeRows, SoundEvent::FourRows};
    PlaySoundEvent(p, rows[count < 4 ? count - 1 : 3]);
  }
  // An opponent who is out gets the rows all the same, unheard.
  if (count >= 2 && !gameState.gameOver[o]) {
    PlaySoundEvent(o, SoundEvent::GarbageArrived);
    if (previewShown) PlaySoundEvent(o, SoundEvent::PreviewBlank);
  }

  // The shown level is level + 1, taken in 64 bits so the largest level
  // still prints; the texts of two 32-bit numbers fit easily.
  char scoreText[256];
  char levelText[256];
  FormatDecimal(scoreText, gameState.score[p]);
  FormatDecimal(levelText, static_cast<int64_t>(gameState.level[p]) + 1);
  ShowLabels(p, scoreText, levelText);
}
