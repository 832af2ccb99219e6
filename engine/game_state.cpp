// The match record, the piece set and the colour set.
#include "engine/game_state.h"

GameState gameState;

const PieceTemplate PieceTable[7] = {
    {1, 0, 1, 0, 1, 1, 0, 0},  // 1 1 1 . / . . 1 .
    {0, 2, 0, 2, 2, 2, 0, 0},  // . . 2 . / 2 2 2 .
    {3, 0, 3, 3, 3, 0, 0, 0},  // 3 3 3 . / . 3 . .
    {4, 0, 4, 0, 4, 0, 4, 0},  // 4 4 4 4 / . . . .
    {5, 5, 5, 5, 0, 0, 0, 0},  // 5 5 . . / 5 5 . .
    {6, 0, 6, 6, 0, 6, 0, 0},  // 6 6 . . / . 6 6 .
    {0, 7, 7, 7, 7, 0, 0, 0},  // . 7 7 . / 7 7 . .
};

const uint32_t ColourTable[7] = {0xFF, 0xFF00, 0xFF0000, 0xFF00FF, 0x7FA3, 0x337F33, 0x7FFF};

uint32_t CellColour(int32_t value) {
  if (value >= 1 && value <= PIECE_TYPES) return ColourTable[value - 1];
  return value == GHOST ? GHOST_COLOUR : EMPTY_COLOUR;
}

void LoadTemplate(PieceMatrix matrix, const PieceTemplate tmpl) {
  for (int i = 0; i < 4; ++i) {
    matrix[i * 4 + 0] = tmpl[i * 2 + 0];
    matrix[i * 4 + 1] = tmpl[i * 2 + 1];
    matrix[i * 4 + 2] = 0;
    matrix[i * 4 + 3] = 0;
  }
}
