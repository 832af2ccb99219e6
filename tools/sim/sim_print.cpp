// Text picture of both wells: '.' empty, 1 to 7 the colours, '#' the ghost.
#include <cstring>

#include "engine/frame_gravity.h"
#include "tools/sim/sim.h"

void PrintWells(std::FILE* out, int64_t frame) {
  // A player in play is shown as drawn (falling piece included); an out
  // player's well as it stands. Printing leaves the match as it was: the
  // composed picture is put back, since a paused or out player's drawBoard
  // is part of the state (a recording's digests cover it).
  Board picture[2];
  for (int p = 0; p < 2; ++p) {
    Board kept;
    std::memcpy(kept, gameState.drawBoard[p], sizeof kept);
    if (!gameState.gameOver[p]) ComposeDrawBoard(p);
    const Board& source = gameState.gameOver[p] ? gameState.board[p] : gameState.drawBoard[p];
    std::memcpy(picture[p], source, sizeof picture[p]);
    std::memcpy(gameState.drawBoard[p], kept, sizeof kept);
  }
  std::fprintf(out, "frame %lld (%llu ms)\n", static_cast<long long>(frame),
               static_cast<unsigned long long>(frameGravity.nowMs));
  for (int p = 0; p < 2; ++p) {
    std::fprintf(out, "player %d: score %d level %lld%s%s\n", p, gameState.score[p],
                 static_cast<long long>(gameState.level[p]) + 1, gameState.gameOver[p] ? " out" : "",
                 gameState.paused ? " paused" : "");
  }
  for (int r = 0; r < WELL_ROWS; ++r) {
    char line[2 * (WELL_COLUMNS + 2) + 4];
    int n = 0;
    for (int p = 0; p < 2; ++p) {
      line[n++] = '|';
      for (int c = 0; c < WELL_COLUMNS; ++c) {
        const int32_t v = picture[p][c * WELL_ROWS + r];
        line[n++] = v == EMPTY ? '.' : v == GHOST ? '#' : static_cast<char>('0' + v);
      }
      line[n++] = '|';
      if (p == 0) line[n++] = ' ';
    }
    line[n] = '\0';
    std::fprintf(out, "%s\n", line);
  }
  std::fprintf(out, "\n");
}

void PrintMatchEnds() {
  // Only the last match's winner is kept: called after every frame, at
  // most one match can have ended since.
  if (simState.matchesPrinted == matchFigures.matchesEnded) return;
  simState.matchesPrinted = matchFigures.matchesEnded;
  if (matchFigures.winner == NO_WINNER) {
    std::printf("match %d: no winner\n", simState.matchesPrinted);
  } else {
    std::printf("match %d: winner %d\n", simState.matchesPrinted, matchFigures.winner);
  }
}

void PrintRunEnd(int64_t frame, uint64_t every, bool stats) {
  if (every == 0 || frame % static_cast<int64_t>(every) != 0) PrintWells(stdout, frame);
  if (!stats) return;
  for (int p = 0; p < 2; ++p) {
    std::printf("player %d: rows %lld pieces %lld sent %lld\n", p, static_cast<long long>(simState.rows[p]),
                static_cast<long long>(simState.pieces[p]), static_cast<long long>(matchFigures.sentInRun[p]));
  }
  for (int p = 0; p < 2; ++p) {
    std::printf("player %d: presses %lld keydowns %lld firstpress %lld\n", p,
                static_cast<long long>(simState.presses[p]), static_cast<long long>(simState.keyDowns[p]),
                static_cast<long long>(MedianFirstPress(p)));
  }
}
