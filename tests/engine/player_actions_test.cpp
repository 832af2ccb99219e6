// Player actions and ticks: the repeat rhythm, pause, swap, hard drop,
// gravity with freezes and forced drops, the frame step each frame-counted
// gravity tick comes on, and the order of a frame.
#include <gtest/gtest.h>

#include <string>

#include "engine/frame_gravity.h"
#include "tests/engine/test_host.h"

namespace {

// Holds action a for player 0 for the given frames and returns the frames
// (from 0) on which it was carried out.
std::string ActingFrames(Action a, int frames, int32_t delay) {
  std::string acted;
  for (int t = 0; t < frames; ++t) {
    testHost.held[0] = a;
    ApplyAction(0);
    if (gameState.repeatDelay[0] == delay) acted += std::to_string(t) + " ";
  }
  return acted;
}

}  // namespace

TEST(PlayerActions, RepeatRhythm) {
  struct Case {
    Action a;
    int32_t delay;
    const char* frames;
  };
  const Case cases[] = {{Action::Left, 4, "0 5 10 15 "},
                        {Action::SpeedUp, 4, "0 5 10 15 "},
                        {Action::RotateCW, 10, "0 11 "},
                        {Action::RotateCCW, 10, "0 11 "},
                        {Action::Swap, 50, "0 "},
                        {Action::Fall, 50, "0 "}};
  for (const Case& c : cases) {
    StartTestMatch(1000);
    EXPECT_EQ(c.frames, ActingFrames(c.a, 20, c.delay)) << static_cast<int>(c.a);
  }
  StartTestMatch(1000);
  EXPECT_EQ("0 51 102 ", ActingFrames(Action::Swap, 110, 50));

  // Released and pressed again before the delay runs out: no sooner.
  StartTestMatch(1000);
  ApplyAction(0);
  EXPECT_EQ(0, gameState.repeatDelay[0]) << "NoAction with no delay does nothing";
  EXPECT_EQ(Action::NoAction, gameState.lastAction[0]);
  testHost.held[0] = Action::Right;
  ApplyAction(0);
  testHost.held[0] = Action::NoAction;
  ApplyAction(0);
  ApplyAction(0);
  testHost.held[0] = Action::Right;
  ApplyAction(0);
  ApplyAction(0);
  EXPECT_EQ(4, gameState.pieceX[0]) << "one move in five frames";
  ApplyAction(0);
  EXPECT_EQ(5, gameState.pieceX[0]);
  // Switching to another input acts on the very frame of the switch.
  testHost.held[0] = Action::Left;
  ApplyAction(0);
  EXPECT_EQ(4, gameState.pieceX[0]);

  // Blocked at column 0: nothing moves, but the delay and lastAction are set.
  gameState.pieceX[0] = 0;
  gameState.repeatDelay[0] = 0;
  gameState.lastAction[0] = Action::Right;
  ApplyAction(0);
  EXPECT_EQ(0, gameState.pieceX[0]);
  EXPECT_EQ(4, gameState.repeatDelay[0]);
  EXPECT_EQ(Action::Left, gameState.lastAction[0]);
}

TEST(PlayerActions, Pause) {
  StartTestMatch(1000);
  testHost.held[0] = Action::Pause;
  std::string states;
  for (int t = 0; t < 11; ++t) {
    ApplyAction(0);
    states += gameState.paused ? 'P' : '.';
  }
  EXPECT_EQ("PPPPP.....P", states) << "a held Pause toggles every 5th frame";

  // While paused, Left only takes the delay and lastAction.
  testHost.held[0] = Action::Left;
  ApplyAction(0);
  EXPECT_EQ(3, gameState.pieceX[0]);
  EXPECT_EQ(4, gameState.repeatDelay[0]);
  EXPECT_EQ(Action::Left, gameState.lastAction[0]);
  GravityTick(0);
  EXPECT_EQ(0, gameState.pieceY[0]) << "no gravity while paused";

  // Both Pause inputs on one frame: player 0 clears it, player 1 sets it again.
  StartTestMatch(1000);
  gameState.paused = true;
  testHost.held[0] = Action::Pause;
  testHost.held[1] = Action::Pause;
  TakeLog();
  FrameTick();
  EXPECT_TRUE(gameState.paused);
  EXPECT_EQ("wadWATsr", TakeLog()) << "player 0 plays its unpaused turn";
  // A Pause from player 0 makes player 1's turn of the same frame a paused one.
  StartTestMatch(1000);
  testHost.held[0] = Action::Pause;
  FrameTick();
  EXPECT_EQ(1, testHost.titles[1]);
  EXPECT_EQ(0, testHost.labelCalls[1]);
}

TEST(PlayerActions, SwapAndFall) {
  StartTestMatch(1000);
  PieceMatrix cur, box;
  for (int j = 0; j < 16; ++j) cur[j] = gameState.curPiece[0][j], box[j] = gameState.swapPiece[j];
  testHost.held[0] = Action::Swap;
  ApplyAction(0);
  EXPECT_EQ(-5, gameState.score[0]);
  for (int j = 0; j < 16; ++j) {
    EXPECT_EQ(box[j], gameState.curPiece[0][j]) << j;
    EXPECT_EQ(cur[j], gameState.swapPiece[j]) << j;
  }
  // The box is shared: player 1 takes out what player 0 put in.
  LoadTemplate(gameState.curPiece[1], PieceTable[4]);
  testHost.held[1] = Action::Swap;
  ApplyAction(1);
  for (int j = 0; j < 16; ++j) EXPECT_EQ(cur[j], gameState.curPiece[1][j]) << j;
  EXPECT_EQ(5, gameState.swapPiece[0]);

  // An incoming piece that does not fit: nothing changes but the delay.
  gameState.repeatDelay[0] = 0;
  gameState.lastAction[0] = Action::NoAction;
  LoadTemplate(gameState.swapPiece, PieceTable[3]);
  gameState.pieceX[0] = 7;
  for (int j = 0; j < 16; ++j) cur[j] = gameState.curPiece[0][j];
  ApplyAction(0);
  EXPECT_EQ(-5, gameState.score[0]);
  EXPECT_EQ(50, gameState.repeatDelay[0]);
  for (int j = 0; j < 16; ++j) EXPECT_EQ(cur[j], gameState.curPiece[0][j]) << j;
  EXPECT_EQ(4, gameState.swapPiece[3 * 4]);

  // Fall locks on the landing row and spawns within the tick; the row it
  // completes goes in the same frame.
  StartTestMatch(1000);
  PlacePiece(0, 3, 0, 0);
  FillRow(0, 19, -1);
  for (int c = 0; c < 4; ++c) gameState.board[0][c * 20 + 19] = 0;
  testHost.held[0] = Action::Fall;
  FrameTick();
  EXPECT_EQ(1, gameState.score[0]);
  EXPECT_EQ(0, gameState.pieceY[0]);
  EXPECT_EQ(3, gameState.pieceX[0]);
  for (int c = 0; c < 10; ++c) EXPECT_EQ(0, gameState.board[0][c * 20 + 19]) << c;
  EXPECT_STREQ("1", testHost.scoreText[0]);
}

TEST(PlayerActions, TopOutRowsAreNeverCleared) {
  StartTestMatch(1000);
  PlacePiece(0, 3, 0, 16);
  RotatePiece(0, true);  // upright in column 0, rows 16 to 19
  FillRow(0, 19, 0);
  gameState.board[0][4 * 20 + 0] = 2;
  for (int j = 0; j < 8; ++j) gameState.nextPiece[0][j] = PieceTable[3][j];
  testHost.held[0] = Action::SpeedUp;
  FrameTick();
  EXPECT_TRUE(gameState.gameOver[0]);
  EXPECT_EQ(4, gameState.board[0][0 * 20 + 19]) << "the full row stays";
  EXPECT_EQ(0, gameState.score[0]);
  EXPECT_EQ(0, testHost.labelCalls[0]);
  EXPECT_EQ(1, testHost.titles[0]);
  const int32_t samples = testHost.samples[0];
  FrameTick();
  GravityTick(0);
  EXPECT_EQ(samples, testHost.samples[0]) << "an out player is not sampled";
  EXPECT_EQ(2, testHost.titles[0]);
  EXPECT_EQ(2, testHost.draws[1]) << "the other plays on";
}

TEST(PlayerActions, GravityFreezeAndForcedDrops) {
  StartTestMatch(1000);
  gameState.gravityFreeze[0] = 10;
  gameState.level[0] = 4;
  gameState.speedChanged[0] = true;
  testHost.armCount = 0;
  for (int t = 0; t < 10; ++t) GravityTick(0);
  EXPECT_EQ(0, gameState.pieceY[0]);
  EXPECT_EQ(0, testHost.armCount) << "no re-arm during a freeze";
  GravityTick(0);
  EXPECT_EQ(1, gameState.pieceY[0]);
  EXPECT_EQ(1, testHost.armCount);
  EXPECT_EQ(200u, testHost.lastArm[0]);
  EXPECT_FALSE(gameState.speedChanged[0]);
  EXPECT_EQ(11, testHost.repaints);

  // Two forced drops: the next two unfrozen ticks each hard-drop the piece.
  gameState.forcedDrops[1] = 2;
  gameState.gravityFreeze[1] = 1;
  const int32_t seed = gameState.rngSeed[1];
  GravityTick(1);
  EXPECT_EQ(seed, gameState.rngSeed[1]) << "frozen: no lock";
  GravityTick(1);
  GravityTick(1);
  EXPECT_EQ(0, gameState.forcedDrops[1]);
  int settled = 0;
  for (int32_t v : gameState.board[1]) settled += v != 0;
  EXPECT_EQ(8, settled) << "two pieces locked";
  EXPECT_NE(seed, gameState.rngSeed[1]);
  GravityTick(1);
  EXPECT_EQ(1, gameState.pieceY[1]) << "then plain gravity again";
}

TEST(PlayerActions, GravityPeriod) {
  const int32_t levels[] = {0, 1, 2, 3, 4, 9, 19, 999, 1000, -1, -2, 2147483647, -2147483647 - 1};
  const uint32_t periods[] = {1000, 500, 333, 250, 200, 100, 50, 1, 0, 1000, 0, 0, 0};
  for (size_t i = 0; i < sizeof levels / sizeof levels[0]; ++i) {
    EXPECT_EQ(periods[i], GravityPeriod(levels[i])) << "level " << levels[i];
  }
}

namespace {

FrameGravity steppedGravity;
int gravityStep;
std::string gravityTicks;   // "STEP:PLAYER " for each tick
uint32_t rearmMs[2];        // the period a tick arms again (0: none)

void NoteGravityTick(int p) {
  gravityTicks += std::to_string(gravityStep) + ":" + std::to_string(p) + " ";
  if (rearmMs[p] != 0) ArmFrameGravity(steppedGravity, p, rearmMs[p]);
}

// Runs the clock on by `steps` frame steps and returns the ticks it gave.
std::string StepGravity(int steps) {
  gravityTicks.clear();
  for (int i = 0; i < steps; ++i) {
    AdvanceFrameGravity(steppedGravity);
    ++gravityStep;
    RunDueGravity(steppedGravity, NoteGravityTick);
  }
  return gravityTicks;
}

}  // namespace

// A tick comes on the first 10 ms step at or past the period's end, never a
// step later (both programs of a network match count on it), and the next
// period counts from that step.
TEST(PlayerActions, FrameGravityTicksOnThePeriodsStep) {
  steppedGravity = {};
  gravityStep = 0;
  rearmMs[0] = rearmMs[1] = 0;
  ArmFrameGravity(steppedGravity, 0, 30);
  ArmFrameGravity(steppedGravity, 1, 100);
  EXPECT_EQ("3:0 6:0 9:0 10:1 12:0 ", StepGravity(12));
  ArmFrameGravity(steppedGravity, 0, 25);  // at 120 ms: due at 145, seen at 150
  ArmFrameGravity(steppedGravity, 1, 20);
  EXPECT_EQ("14:1 15:0 16:1 18:0 18:1 ", StepGravity(6)) << "player 0 first on a shared step";
  ArmFrameGravity(steppedGravity, 0, 0);
  ArmFrameGravity(steppedGravity, 1, 1000);
  EXPECT_EQ("19:0 20:0 21:0 ", StepGravity(3)) << "a period under 10 ms ticks every step";
  // A tick that arms again (a level up) counts from its own step.
  ArmFrameGravity(steppedGravity, 0, 20);
  rearmMs[0] = 50;
  EXPECT_EQ("23:0 28:0 33:0 ", StepGravity(12));
}

TEST(PlayerActions, FrameOrderAndStop) {
  StartTestMatch(1000);
  TakeLog();
  FrameTick();
  EXPECT_EQ("wadWADsr", TakeLog());
  EXPECT_STREQ("1", testHost.levelText[1]);
  gameState.gameOver[0] = gameState.gameOver[1] = true;  // Stop
  FrameTick();
  EXPECT_EQ("wtWTsr", TakeLog());
}
