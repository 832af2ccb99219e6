// The match's figures, its end and the tally.
#include "engine/match_figures.h"

MatchFigures matchFigures;

int LeaderByScore(const int32_t score[2]) {
  if (score[0] == score[1]) return NO_WINNER;
  return score[0] > score[1] ? 0 : 1;
}

void EndMatchIfOver() {
  MatchFigures& m = matchFigures;
  if (!m.running || !gameState.gameOver[0] || !gameState.gameOver[1]) return;
  m.running = false;
  m.matchesEnded += 1;
  m.lastFrames = m.frames;
  for (int p = 0; p < PLAYERS; ++p) {
    m.last[p] = m.now[p];
    m.last[p].score = gameState.score[p];
  }
  m.winner = LeaderByScore(gameState.score);
  if (m.winner != NO_WINNER) m.wins[m.winner] += 1;
}

void ResetTally() {
  matchFigures.wins[0] = 0;
  matchFigures.wins[1] = 0;
}

int64_t PiecesPerSecond100(int64_t pieces, int64_t frames) {
  if (frames <= 0) return 0;
  return pieces * 10000 / frames;
}
