// The computer player's planning: every reachable placement of the falling
// piece (and of the swap box's piece) valued on the well it leaves, the best
// few judged again with the preview's piece.
#include "computer/computer_player.h"

#include <cstring>

#include "computer/computer_internal.h"
#include "engine/engine.h"

namespace computer_detail {

int PieceTypeOf(const int32_t* cells, int count) {
  for (int j = 0; j < count; ++j) {
    if (cells[j] >= 1 && cells[j] <= PIECE_TYPES) return cells[j] - 1;
  }
  return -1;
}

bool SameMatrix(const PieceMatrix a, const PieceMatrix b) {
  for (int j = 0; j < 16; ++j) {
    if ((a[j] != 0) != (b[j] != 0)) return false;
  }
  return true;
}

void CopyMatrix(PieceMatrix to, const PieceMatrix from) {
  for (int j = 0; j < 16; ++j) to[j] = from[j];
}

void ReadWell(const Board& board, Rows& out, bool dropFull) {
  for (int r = 0; r < WELL_ROWS; ++r) {
    uint16_t bits = 0;
    for (int c = 0; c < WELL_COLUMNS; ++c) {
      if (board[c * WELL_ROWS + r] != 0) bits = static_cast<uint16_t>(bits | (1u << c));
    }
    out.row[r] = bits;
  }
  if (!dropFull) return;
  int to = WELL_ROWS - 1;
  for (int r = WELL_ROWS - 1; r >= 0; --r) {
    if (out.row[r] != FULL_ROW) out.row[to--] = out.row[r];
  }
  while (to >= 0) out.row[to--] = 0;
}

}  // namespace computer_detail

using namespace computer_detail;

namespace {

// One orientation of a shape as row masks relative to the matrix origin.
struct Shape {
  uint16_t mask[4];
  int height;
};

// The weights of the placement value. Holes and the transitions between
// filled and empty cells dominate: they are what makes a well hard to clear.
// Rows cleared at once are worth more than the same rows one by one, since
// two or more attack the opponent. A swap costs 5 points, and the score then
// climbs past the same multiple of ten again, which raises the level once
// more: it must save about a hole and its transitions to be worth it.
constexpr float W_LANDING = -4.50f;
constexpr float W_ERODED = 3.42f;
constexpr float W_ROW_TRANSITIONS = -3.22f;
constexpr float W_COLUMN_TRANSITIONS = -9.35f;
constexpr float W_HOLES = -7.90f;
constexpr float W_WELLS = -3.39f;
constexpr float W_BUMPINESS = -0.50f;
constexpr float W_HIGH = -6.0f;  // per cell of the highest column above HIGH_ROWS
constexpr int HIGH_ROWS = 12;
constexpr float MULTI_ROW_BONUS[5] = {0.0f, 0.0f, 4.0f, 12.0f, 30.0f};
constexpr float SWAP_PENALTY = 60.0f;
constexpr float NO_ROOM = -1.0e6f;

// While the stack is low, the rightmost column is kept open for an upright
// bar that clears several rows at once: filling it costs, unless that clears
// at least RESERVE_PAYS_ROWS rows, and its depth is no fault.
constexpr uint32_t RESERVED_COLUMN_BIT = 1u << (WELL_COLUMNS - 1);
constexpr int RESERVE_BELOW_ROWS = 10;
constexpr int RESERVE_PAYS_ROWS = 3;
constexpr float W_RESERVED_CELL = -12.0f;

// Candidates kept for the look at the preview's piece.
constexpr int LOOKAHEAD_WIDTH = 6;
constexpr int MAX_CANDIDATES = 2 * 4 * WELL_COLUMNS;

int PopCount(uint32_t v) { return __builtin_popcount(v); }

Shape ShapeOf(const PieceMatrix m) {
  Shape s = {{0, 0, 0, 0}, 0};
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 4; ++k) {
      if (m[i * 4 + k] == 0) continue;
      s.mask[k] = static_cast<uint16_t>(s.mask[k] | (1u << i));
      if (k + 1 > s.height) s.height = k + 1;
    }
  }
  return s;
}

// The same rule as MatrixFits, on row masks.
bool ShapeFits(const Rows& well, const Shape& s, int x, int y) {
  if (x < 0 || y < 0) return false;
  for (int k = 0; k < s.height; ++k) {
    const uint32_t cells = static_cast<uint32_t>(s.mask[k]) << x;
    if (cells == 0) continue;
    if (cells & ~static_cast<uint32_t>(FULL_ROW)) return false;
    if (y + k >= WELL_ROWS || (well.row[y + k] & cells) != 0) return false;
  }
  return true;
}

// The value of a well as it stands: holes, transitions, wells, bumpiness and
// a high stack, all bad.
float WellValue(const Rows& well, bool reserve) {
  int holes = 0, rowTransitions = 0, columnTransitions = 0, wells = 0;
  int heights[WELL_COLUMNS] = {};
  int wellRun[WELL_COLUMNS] = {};
  int r = 0;
  while (r < WELL_ROWS && well.row[r] == 0) ++r;
  // Empty rows above the stack: two transitions each (the side walls count
  // as filled), nothing else.
  rowTransitions += 2 * r;
  uint32_t covered = 0, above = 0, wellAbove = 0;
  for (; r < WELL_ROWS; ++r) {
    const uint32_t row = well.row[r];
    holes += PopCount(covered & ~row & FULL_ROW);
    for (uint32_t fresh = row & ~covered; fresh != 0; fresh &= fresh - 1) {
      heights[__builtin_ctz(fresh)] = WELL_ROWS - r;
    }
    covered |= row;
    const uint32_t walled = (row << 1) | 1u | (1u << (WELL_COLUMNS + 1));
    rowTransitions += PopCount((walled ^ (walled >> 1)) & ((1u << (WELL_COLUMNS + 1)) - 1));
    columnTransitions += PopCount(row ^ above);
    above = row;
    // An empty cell between two filled ones (or a wall): deeper wells cost more.
    uint32_t wellCells = ~row & FULL_ROW & ((row << 1) | 1u) & ((row >> 1) | (1u << (WELL_COLUMNS - 1)));
    if (reserve) wellCells &= ~RESERVED_COLUMN_BIT;  // kept open on purpose
    for (uint32_t cells = wellCells; cells != 0; cells &= cells - 1) {
      const int c = __builtin_ctz(cells);
      wellRun[c] = (wellAbove & (1u << c)) ? wellRun[c] + 1 : 1;
      wells += wellRun[c];
    }
    wellAbove = wellCells;
  }
  columnTransitions += PopCount(above ^ FULL_ROW);  // the floor counts as filled
  int bumpiness = 0, highest = 0;
  for (int c = 0; c < (reserve ? WELL_COLUMNS - 1 : WELL_COLUMNS); ++c) {
    if (c > 0) bumpiness += heights[c] > heights[c - 1] ? heights[c] - heights[c - 1] : heights[c - 1] - heights[c];
    if (heights[c] > highest) highest = heights[c];
  }
  const int high = highest > HIGH_ROWS ? highest - HIGH_ROWS : 0;
  return W_HOLES * holes + W_ROW_TRANSITIONS * rowTransitions + W_COLUMN_TRANSITIONS * columnTransitions +
         W_WELLS * wells + W_BUMPINESS * bumpiness + W_HIGH * high;
}

// Keep the rightmost column open? Only while every other column stays low
// and the well has no holes to dig out first.
bool KeepColumnOpen(const Rows& well) {
  uint32_t covered = 0;
  for (int r = 0; r < WELL_ROWS; ++r) {
    const uint32_t row = well.row[r] & ~RESERVED_COLUMN_BIT;
    if (row != 0 && r < WELL_ROWS - RESERVE_BELOW_ROWS) return false;
    if (covered & ~row & FULL_ROW & ~RESERVED_COLUMN_BIT) return false;
    covered |= row;
  }
  return true;
}

// Drops the shape from (x, y) onto the well, clears the full rows, and
// returns the value of the drop itself (landing height, rows cleared).
float Drop(const Rows& well, const Shape& s, int x, int y, bool reserve, Rows& after, int& cleared) {
  while (y + s.height < WELL_ROWS && ShapeFits(well, s, x, y + 1)) ++y;
  after = well;
  for (int k = 0; k < s.height; ++k) {
    after.row[y + k] = static_cast<uint16_t>(after.row[y + k] | (s.mask[k] << x));
  }
  int eroded = 0;
  cleared = 0;
  int to = WELL_ROWS - 1;
  for (int r = WELL_ROWS - 1; r >= 0; --r) {
    if (after.row[r] == FULL_ROW) {
      cleared += 1;
      if (r >= y && r < y + s.height) eroded += PopCount(s.mask[r - y]);
    } else {
      after.row[to--] = after.row[r];
    }
  }
  while (to >= 0) after.row[to--] = 0;
  const float landing = static_cast<float>(WELL_ROWS - y - s.height) + static_cast<float>(s.height - 1) * 0.5f;
  const int bonusRows = cleared > 4 ? 4 : cleared;
  float value = W_LANDING * landing + W_ERODED * static_cast<float>(cleared * eroded) + MULTI_ROW_BONUS[bonusRows];
  if (reserve && cleared < RESERVE_PAYS_ROWS) {
    for (int k = 0; k < s.height; ++k) {
      if ((static_cast<uint32_t>(s.mask[k]) << x) & RESERVED_COLUMN_BIT) value += W_RESERVED_CELL;
    }
  }
  return value;
}

struct Candidate {
  bool swap;
  int type;
  PieceMatrix matrix;
  int x;
  float step;   // value of the drop
  float value;  // step plus the value of what follows
  Rows after;
};

// The orientations a shape can take, from its template, as shapes; the
// preview's piece is judged from the spawn, away from any obstacle.
int OrientationsOf(int type, Shape (&shapes)[4]) {
  PieceMatrix m;
  LoadTemplate(m, PieceTable[type]);
  PieceMatrix seen[4];
  int n = 0;
  for (int t = 0; t < 4; ++t) {
    bool repeat = false;
    for (int j = 0; j < n; ++j) repeat = repeat || SameMatrix(seen[j], m);
    if (!repeat) {
      CopyMatrix(seen[n], m);
      shapes[n++] = ShapeOf(m);
    }
    TurnMatrix(m, true);
  }
  return n;
}

// The best value of the preview's piece on a well: every orientation at
// every column it can slide to along the top from the spawn column.
float BestFollowing(const Rows& well, const Shape* shapes, int count, bool reserve) {
  float best = NO_ROOM;
  for (int o = 0; o < count; ++o) {
    const Shape& s = shapes[o];
    if (!ShapeFits(well, s, SPAWN_COLUMN, 0)) continue;
    for (int dir = -1; dir <= 1; dir += 2) {
      for (int x = dir < 0 ? SPAWN_COLUMN : SPAWN_COLUMN + 1; x < WELL_COLUMNS && ShapeFits(well, s, x, 0);
           x += dir) {
        Rows after;
        int cleared = 0;
        const float value = Drop(well, s, x, 0, reserve, after, cleared) + WellValue(after, reserve);
        if (value > best) best = value;
      }
    }
  }
  return best;
}

// Every placement of one piece from where it is now: each orientation that
// the turns reach from here (with the engine's kicks), then each column that
// the piece can slide to along its present row.
void AddPlacements(const Board& board, const Rows& well, const PieceMatrix start, int x0, int y0, bool swap, bool reserve,
                   Candidate* list, int& count) {
  // Zero, one and two turns clockwise, and one counter-clockwise.
  static_assert(MAX_CANDIDATES >= 2 * 4 * WELL_COLUMNS, "room for every placement");
  PieceMatrix seen[4];
  int seenCount = 0;
  const int type = PieceTypeOf(start, 16);
  for (int t = 0; t < 4; ++t) {
    PieceMatrix m;
    CopyMatrix(m, start);
    int x = x0, y = y0;
    bool reached = true;
    for (int turn = 0; turn < (t == 3 ? 1 : t) && reached; ++turn) {
      reached = TurnOnBoard(board, m, x, y, t != 3) != TurnResult::Refused;
    }
    if (!reached) continue;
    bool repeat = false;
    for (int j = 0; j < seenCount; ++j) repeat = repeat || SameMatrix(seen[j], m);
    if (repeat) continue;
    CopyMatrix(seen[seenCount++], m);
    const Shape s = ShapeOf(m);
    for (int dir = -1; dir <= 1; dir += 2) {
      for (int tx = dir < 0 ? x : x + 1; tx < WELL_COLUMNS && MatrixFits(board, m, tx, y); tx += dir) {
        if (!ShapeFits(well, s, tx, y)) break;
        Candidate& c = list[count++];
        c.swap = swap;
        c.type = type;
        CopyMatrix(c.matrix, m);
        c.x = tx;
        int cleared = 0;
        c.step = Drop(well, s, tx, y, reserve, c.after, cleared) - (swap ? SWAP_PENALTY : 0.0f);
        c.value = c.step + WellValue(c.after, reserve);
      }
    }
  }
}

// The best LOOKAHEAD_WIDTH candidates by their own value, best first, into
// order; on equal values the earlier candidate ranks first. Returns how many.
int KeepBest(const Candidate* list, int count, int (&order)[LOOKAHEAD_WIDTH]) {
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    int at;
    if (kept < LOOKAHEAD_WIDTH) {
      at = kept++;
    } else if (list[i].value > list[order[LOOKAHEAD_WIDTH - 1]].value) {
      at = LOOKAHEAD_WIDTH - 1;
    } else {
      continue;
    }
    for (; at > 0 && list[order[at - 1]].value < list[i].value; --at) order[at] = order[at - 1];
    order[at] = i;
  }
  return kept;
}

// The place (into judged) of the rank-th best value, rank 0 the best; on
// equal values the earlier place ranks first. A rank past the end gives the
// worst.
int RankedAt(const float* judged, int count, int rank) {
  int places[LOOKAHEAD_WIDTH];
  for (int j = 0; j < count; ++j) {
    int at = j;
    for (; at > 0 && judged[places[at - 1]] < judged[j]; --at) places[at] = places[at - 1];
    places[at] = j;
  }
  return places[rank < count ? rank : count - 1];
}

}  // namespace

const ComputerPlan& PlanPlacement(int p) {
  ComputerMind& mind = computerState.mind[p];
  const ComputerLevel& rules = ComputerLevelRules(mind.level);
  ComputerPlan& plan = mind.plan;
  const Board& board = gameState.board[p];
  Rows seen;
  ReadWell(board, seen, true);
  std::memcpy(mind.seenRows, seen.row, sizeof mind.seenRows);
  mind.plans += 1;

  const PieceMatrix& cur = gameState.curPiece[p];
  const int x0 = gameState.pieceX[p], y0 = gameState.pieceY[p];
  plan.valid = true;
  plan.swapFirst = false;
  plan.pieceType = PieceTypeOf(cur, 16);
  CopyMatrix(plan.target, cur);
  plan.targetX = x0;
  plan.score = 0;
  // A piece that does not fit where it is (lifted by garbage) can neither
  // turn nor move: it stays where it is. No piece: nothing to plan.
  if (plan.pieceType < 0 || !MatrixFits(board, cur, x0, y0)) return plan;

  Rows well;
  ReadWell(board, well, false);
  Candidate list[MAX_CANDIDATES];
  int count = 0;
  const bool reserve = KeepColumnOpen(well);
  AddPlacements(board, well, cur, x0, y0, false, reserve, list, count);
  const int swapType = PieceTypeOf(gameState.swapPiece, 16);
  if (rules.useSwap && !mind.swapUsed && swapType >= 0 && swapType != plan.pieceType && ActionActs(p, Action::Swap) &&
      MatrixFits(board, gameState.swapPiece, x0, y0)) {
    AddPlacements(board, well, gameState.swapPiece, x0, y0, true, reserve, list, count);
  }
  if (count == 0) return plan;

  // The preview is read only while it shows: a blank preview hides the
  // piece from the computer as from a person. The best few by their own
  // value are judged again by the best drop of the preview's piece after
  // them; the level may then take one of the others.
  const int nextType =
      rules.usePreview && gameState.previewBlind[p] == 0 ? PieceTypeOf(gameState.nextPiece[p], 8) : -1;
  int order[LOOKAHEAD_WIDTH];
  const int kept = KeepBest(list, count, order);
  float judged[LOOKAHEAD_WIDTH];
  if (nextType < 0) {
    for (int j = 0; j < kept; ++j) judged[j] = list[order[j]].value;
  } else {
    Shape shapes[4];
    const int shapeCount = OrientationsOf(nextType, shapes);
    for (int j = 0; j < kept; ++j) {
      const Candidate& c = list[order[j]];
      judged[j] = c.step + BestFollowing(c.after, shapes, shapeCount, reserve);
    }
  }
  const Candidate& chosen = list[order[RankedAt(judged, kept, mind.worseRank)]];
  plan.swapFirst = chosen.swap;
  plan.pieceType = chosen.type;
  CopyMatrix(plan.target, chosen.matrix);
  plan.targetX = chosen.x;
  plan.score = static_cast<int32_t>(chosen.value);
  return plan;
}
