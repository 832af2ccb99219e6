// A scripted two-player match on a simulated clock: frame ticks every 10 ms
// and each player's gravity at the period last armed.
#include <gtest/gtest.h>

#include "tests/engine/test_host.h"

namespace {

struct MatchClock {
  uint32_t now;
  uint32_t due[2];
  int32_t armsSeen[2];
  int32_t gravityTicks[2];
};

// A re-arm restarts that player's countdown from the current time.
void FollowArms(MatchClock& clock) {
  for (int p = 0; p < 2; ++p) {
    if (testHost.armsFor[p] != clock.armsSeen[p]) {
      clock.armsSeen[p] = testHost.armsFor[p];
      clock.due[p] = clock.now + testHost.lastArm[p];
    }
  }
}

void Play(MatchClock& clock, int frames, Action a0, Action a1) {
  for (int f = 0; f < frames; ++f) {
    clock.now += FRAME_PERIOD_MS;
    testHost.held[0] = a0;
    testHost.held[1] = a1;
    FrameTick();
    FollowArms(clock);
    for (int p = 0; p < 2; ++p) {
      if (clock.now < clock.due[p]) continue;
      GravityTick(p);
      clock.gravityTicks[p] += 1;
      clock.due[p] = clock.now + testHost.lastArm[p];
      FollowArms(clock);
    }
  }
}

int Settled(int p) {
  int n = 0;
  for (int32_t v : gameState.board[p]) n += v != 0;
  return n;
}

}  // namespace

TEST(ScriptedMatch, AttackOfFourRows) {
  StartTestMatch(1000);
  MatchClock clock = {};
  FollowArms(clock);
  for (int r = 16; r < 20; ++r) FillRow(0, r, 0, 2);
  LoadTemplate(gameState.swapPiece, PieceTable[3]);
  const Action none = Action::NoAction;

  // Player 0 swaps in the bar (5 points), stands it up and walks it left;
  // player 1 speeds its piece down meanwhile.
  Play(clock, 1, Action::Swap, Action::SpeedUp);
  EXPECT_EQ(-5, gameState.score[0]);
  EXPECT_EQ(4, gameState.curPiece[0][0]);
  Play(clock, 1, Action::RotateCW, none);
  EXPECT_EQ(1, PieceWidth(gameState.curPiece[0]));
  Play(clock, 5, Action::Left, Action::SpeedUp);
  EXPECT_EQ(2, gameState.pieceX[0]) << "one move in the first five frames";
  Play(clock, 6, Action::Left, Action::SpeedUp);
  EXPECT_EQ(0, gameState.pieceX[0]);
  EXPECT_EQ(3, gameState.pieceY[1]) << "SpeedUp on frames 1, 6 and 11; no gravity yet";
  EXPECT_EQ(1, Heard(MATCH_WIDE, SoundEvent::MatchStarted)) << "one Start, two wells reset";
  EXPECT_EQ(1, HeardInAll(MATCH_WIDE));
  EXPECT_EQ(0, HeardInAll(0) + HeardInAll(1)) << "swaps, turns and moves are silent";

  // Player 1 pauses: no gravity for anyone, titles on both wells; player 0's
  // Pause ends it.
  Play(clock, 1, none, Action::Pause);
  EXPECT_TRUE(gameState.paused);
  const int32_t titles = testHost.titles[0];
  const int32_t y0 = gameState.pieceY[0];
  Play(clock, 150, none, none);
  EXPECT_EQ(titles + 150, testHost.titles[0]);
  EXPECT_EQ(y0, gameState.pieceY[0]);
  EXPECT_LT(0, clock.gravityTicks[0]) << "the ticks came and did nothing";
  Play(clock, 1, Action::Pause, none);
  EXPECT_FALSE(gameState.paused);
  EXPECT_EQ(1, Heard(MATCH_WIDE, SoundEvent::PauseStarted));
  EXPECT_EQ(1, Heard(MATCH_WIDE, SoundEvent::PauseEnded));

  // The hard drop clears four rows within its frame: three garbage rows,
  // a blank preview (counted down once by player 1's drawing of that frame),
  // two forced drops and two levels for player 1, a freeze for player 0.
  const int32_t y1 = gameState.pieceY[1];
  Play(clock, 1, Action::Fall, none);
  const int32_t ticks0 = clock.gravityTicks[0];
  const int32_t p0y = gameState.pieceY[0];
  EXPECT_EQ(5, gameState.score[0]);
  EXPECT_EQ(0, Settled(0));
  EXPECT_EQ(y1 - 3, gameState.pieceY[1]);
  EXPECT_EQ(1499, gameState.previewBlind[1]);
  EXPECT_EQ(2, gameState.forcedDrops[1]);
  EXPECT_EQ(2, gameState.level[1]);
  EXPECT_STREQ("3", testHost.levelText[1]) << "shown as level + 1";
  EXPECT_EQ(20, gameState.gravityFreeze[0]);
  const int garbage = Settled(1);
  EXPECT_TRUE(garbage >= 21 && garbage <= 27) << garbage;
  // Heard: the lock and the four rows from player 0's side, the garbage and
  // the blank preview once each from player 1's, however many rows came.
  EXPECT_EQ(1, Heard(0, SoundEvent::PieceLocked));
  EXPECT_EQ(1, Heard(0, SoundEvent::FourRows));
  EXPECT_EQ(2, HeardInAll(0));
  EXPECT_EQ(1, Heard(1, SoundEvent::GarbageArrived));
  EXPECT_EQ(1, Heard(1, SoundEvent::PreviewBlank));
  EXPECT_EQ(2, HeardInAll(1));

  // Player 1's next gravity ticks hard-drop twice, and the first re-arms at
  // level 2; player 0's piece hangs for twenty ticks.
  const int32_t ticks1 = clock.gravityTicks[1];
  while (clock.gravityTicks[1] == ticks1) Play(clock, 1, none, none);
  EXPECT_EQ(1, gameState.forcedDrops[1]);
  EXPECT_EQ(garbage + 4, Settled(1));
  EXPECT_EQ(333u, testHost.lastArm[1]);
  while (clock.gravityTicks[1] == ticks1 + 1) Play(clock, 1, none, none);
  EXPECT_EQ(0, gameState.forcedDrops[1]);
  EXPECT_EQ(garbage + 8, Settled(1));
  EXPECT_EQ(2, Heard(1, SoundEvent::PieceLocked)) << "each forced drop locks";
  while (clock.gravityTicks[0] < ticks0 + 20) Play(clock, 1, none, none);
  EXPECT_EQ(p0y, gameState.pieceY[0]);
  EXPECT_EQ(0, gameState.gravityFreeze[0]);
  while (clock.gravityTicks[0] < ticks0 + 21) Play(clock, 1, none, none);
  EXPECT_EQ(p0y + 1, gameState.pieceY[0]);
  EXPECT_FALSE(gameState.gameOver[0] || gameState.gameOver[1]);
  EXPECT_STREQ("5", testHost.scoreText[0]);
}


// Stop is both players out, set by the host; the next frame tick ends the
// match. The winner leads by score, a tie has none, and the tally lasts
// over Starts until reset.
TEST(ScriptedMatch, WinnerAndTally) {
  StartTestMatch(1000);
  MatchClock clock = {};
  FollowArms(clock);
  const Action none = Action::NoAction;
  FillRow(0, 18, -1);
  FillRow(0, 19, -1);
  Play(clock, 1, Action::Fall, none);
  Play(clock, 99, none, none);
  EXPECT_EQ(1, matchFigures.now[0].pieces);
  EXPECT_EQ(2, matchFigures.now[0].rows);
  EXPECT_EQ(1, matchFigures.now[0].sent) << "two rows at once send one";
  // Player 0 out early: their time in play stops while player 1's goes on,
  // a pause counts for neither, and each swap that cost points is counted.
  gameState.gameOver[0] = true;
  const int32_t before = gameState.score[1];
  Play(clock, 50, none, Action::Swap);
  EXPECT_EQ(1, matchFigures.now[1].swaps) << "one swap in 50 frames under the long delay";
  EXPECT_EQ(before - SWAP_COST, gameState.score[1]);
  gameState.paused = true;
  Play(clock, 20, none, none);
  gameState.paused = false;
  EXPECT_EQ(100, matchFigures.now[0].frames);
  EXPECT_EQ(150, matchFigures.now[1].frames);
  gameState.score[1] = 7;  // player 1 leads, nobody is out
  gameState.gameOver[0] = gameState.gameOver[1] = true;
  EXPECT_EQ(0, matchFigures.matchesEnded) << "ended by the next tick, not by the Stop";
  Play(clock, 1, none, none);
  EXPECT_EQ(1, matchFigures.matchesEnded);
  EXPECT_EQ(1, matchFigures.winner);
  EXPECT_EQ(7, matchFigures.last[1].score);
  EXPECT_EQ(1, matchFigures.last[0].pieces);
  EXPECT_EQ(150, matchFigures.lastFrames);
  EXPECT_EQ(100, PiecesPerSecond100(matchFigures.last[0].pieces, matchFigures.last[0].frames))
      << "one piece in player 0's own second in play";
  Play(clock, 10, none, none);
  EXPECT_EQ(1, matchFigures.matchesEnded) << "a match ends once";

  // The next Start clears the match's counters, not the tally; a tie wins
  // nothing.
  ResetPlayer(0);
  ResetPlayer(1);
  EXPECT_EQ(0, matchFigures.now[0].pieces);
  gameState.gameOver[0] = gameState.gameOver[1] = true;
  Play(clock, 1, none, none);
  EXPECT_EQ(2, matchFigures.matchesEnded);
  EXPECT_EQ(NO_WINNER, matchFigures.winner);
  EXPECT_EQ(0, matchFigures.wins[0]);
  EXPECT_EQ(1, matchFigures.wins[1]);
  EXPECT_EQ(1, matchFigures.sentInRun[0]);
  ResetTally();
  EXPECT_EQ(0, matchFigures.wins[1]);
  EXPECT_EQ(2, matchFigures.matchesEnded) << "the last figures stay shown";
}
