// Helpers shared by the computer player's planning and steering; not for
// other folders.
#pragma once

#include <cstdint>

#include "engine/game_state.h"

namespace computer_detail {

constexpr uint16_t FULL_ROW = (1u << WELL_COLUMNS) - 1;

// A well as row masks: bit c of row r is column c (row 0 is the top).
struct Rows {
  uint16_t row[WELL_ROWS];
};

// The shape (0 to 6) of the first coloured cell among count cells; -1 for none.
int PieceTypeOf(const int32_t* cells, int count);
// Do the two matrices occupy the same cells?
bool SameMatrix(const PieceMatrix a, const PieceMatrix b);
void CopyMatrix(PieceMatrix to, const PieceMatrix from);
// The settled cells of a well; with dropFull, rows already full (locked by a
// gravity tick, cleared at the coming frame tick) are taken out as the line
// clearing will take them out.
void ReadWell(const Board& board, Rows& out, bool dropFull);

// A number from 0 to n - 1 (n > 0) from a level's generator, which it steps.
uint32_t DrawBelow(uint64_t& state, uint32_t n);

}  // namespace computer_detail
