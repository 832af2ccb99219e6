// The data every rule of the match works on: cell grids, the piece and colour
// sets, the player actions and the one global match record.
#pragma once

#include <cstdint>

// Grids are column by column: cell (c, r) of a Board is element c * 20 + r,
// of a PieceMatrix i * 4 + k, of a PieceTemplate i * 2 + k.
typedef int32_t Board[200];
typedef int32_t PieceMatrix[16];
typedef int32_t PieceTemplate[8];

constexpr int32_t PLAYERS = 2;
// For operations other folders may call with any number.
constexpr bool ValidPlayer(int p) { return p == 0 || p == 1; }
constexpr int32_t WELL_COLUMNS = 10;
constexpr int32_t WELL_ROWS = 20;
constexpr int32_t EMPTY = 0;
constexpr int32_t GHOST = 8;  // only ever in drawBoard
constexpr int32_t SPAWN_COLUMN = 3;
constexpr int32_t PIECE_TYPES = 7;

enum class Action : int32_t {
  SpeedUp,
  Left,
  Right,
  RotateCW,
  RotateCCW,
  Swap,
  Pause,
  Fall,
  NoAction
};

// A plain aggregate on purpose: `gameState = {};` resets the whole match.
struct GameState {
  int32_t rngSeed[2];
  bool rngSeeded;
  Action lastAction[2];
  int32_t forcedDrops[2];
  int32_t gravityFreeze[2];
  int32_t previewBlind[2];
  // Raw bytes: the settings store loads them as stored, so any value may
  // appear; nonzero means the ghost is shown.
  uint8_t shadowOn[2];
  bool speedChanged[2];
  int32_t level[2];
  int32_t score[2];
  bool paused;
  int32_t repeatDelay[2];
  PieceMatrix swapPiece;
  PieceTemplate nextPiece[2];
  PieceMatrix curPiece[2];
  Board drawBoard[2];
  Board board[2];
  bool gameOver[2];
  int32_t pieceX[2];
  int32_t pieceY[2];
};

extern GameState gameState;

extern const PieceTemplate PieceTable[7];
// COLORREF values (0x00BBGGRR) of the seven shapes, shape 1 first. Read
// through CellColour, which takes the cell value.
extern const uint32_t ColourTable[7];

// The one index space of colours is the cell value: 0 empty (white), 1 to 7
// the shapes' colours (ColourTable entry value - 1, converted here and
// nowhere else), GHOST black. Pens, brushes and the score labels' colours
// are indexed by it too. Any other value reads as empty.
uint32_t CellColour(int32_t value);
constexpr uint32_t EMPTY_COLOUR = 0xFFFFFF;  // white
constexpr uint32_t GHOST_COLOUR = 0x000000;  // black

// Rows 0 and 1 of the matrix take the template, rows 2 and 3 become empty.
void LoadTemplate(PieceMatrix matrix, const PieceTemplate tmpl);
