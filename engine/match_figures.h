// The figures of a match and the run's tally: what the window shows between
// matches and the simulator prints. Kept beside gameState, not in it, since
// recordings' and network digests cover gameState and made ones must still
// replay.
#pragma once

#include <cstdint>

#include "engine/game_state.h"

constexpr int NO_WINNER = -1;

struct PlayerFigures {
  int32_t score;
  int64_t pieces;  // pieces locked
  int64_t rows;    // rows cleared
  int64_t sent;    // garbage rows pushed into the opponent's well
  int64_t frames;  // frame ticks this player was in play, pauses not counted
  int64_t swaps;   // swaps that took the swap box's piece (each cost SWAP_COST)
};

struct MatchFigures {
  bool running;            // started (ResetPlayer(0)) and not over yet
  int64_t frames;          // frame ticks of this match, pauses not counted
  PlayerFigures now[2];    // this match so far (the score is gameState's)
  int64_t sentInRun[2];    // garbage rows sent since the program started
  int32_t matchesStarted;  // since the program started
  int32_t matchesEnded;    // since the program started; 0: nothing to show
  int32_t winner;          // of the last match: 0, 1 or NO_WINNER
  int64_t lastFrames;
  PlayerFigures last[2];
  int32_t wins[2];         // the tally, since the start or ResetTally
};

extern MatchFigures matchFigures;

// The leader by score, NO_WINNER on a tie: the score labels' colours' rule.
int LeaderByScore(const int32_t score[2]);

// Ends the running match when both players are out (Stop sets both out):
// the last figures, the winner and the tally. The rules call it when a
// player goes out and at each frame tick, so a Stop ends the match at the
// next tick; a host may call it at once.
void EndMatchIfOver();

// Every player's wins back to 0 ("Reset the tally", a new network session).
void ResetTally();

// Pieces a second in hundredths over `frames` 10 ms frames (0 for none):
// a player's over that player's own frames in play.
int64_t PiecesPerSecond100(int64_t pieces, int64_t frames);
