// The computer player against the engine through the recording host: it
// presses like a person under the repeat rule, finds the four-row clear,
// ignores a blank preview, and beats a random player.
#include <gtest/gtest.h>

#include <cstring>

#include "computer/computer_player.h"
#include "engine/xorshift.h"
#include "tests/engine/test_host.h"

namespace {

struct Clock {
  uint32_t now;
  uint32_t due[2];
  int32_t armsSeen[2];
};

// One 10 ms step: each player's input, the frame tick, and the gravity ticks
// that are due (a re-arm restarts a player's countdown).
void Step(Clock& clock, const Action (&held)[2]) {
  clock.now += FRAME_PERIOD_MS;
  testHost.held[0] = held[0];
  testHost.held[1] = held[1];
  FrameTick();
  for (int p = 0; p < 2; ++p) {
    if (testHost.armsFor[p] != clock.armsSeen[p]) {
      clock.armsSeen[p] = testHost.armsFor[p];
      clock.due[p] = clock.now + testHost.lastArm[p];
    }
    if (clock.now < clock.due[p]) continue;
    GravityTick(p);
    clock.due[p] = clock.now + (testHost.lastArm[p] < 10 ? 10 : testHost.lastArm[p]);
  }
}

// The computer's action for player 0, checked not to have written gameState.
Action Ask(int p) {
  static_assert(sizeof(GameState) < 4096, "fits the copy below");
  GameState before;
  std::memcpy(&before, &gameState, sizeof before);
  const Action a = ComputerAction(p, COMPUTER_LEVEL_MAX);
  EXPECT_EQ(0, std::memcmp(&before, &gameState, sizeof before)) << "the computer wrote gameState";
  return a;
}

void StartWithComputer(uint32_t tick) {
  StartTestMatch(tick);
  ResetComputer();
}

// Player 0 holds the square at the spawn, planned by hand to land at column x.
void SquarePlannedTo(int x) {
  PlacePiece(0, 4, SPAWN_COLUMN, 0);
  ComputerPlan& plan = computerState.mind[0].plan;
  PlanPlacement(0);  // records the well as seen
  plan.swapFirst = false;
  plan.pieceType = 4;
  std::memcpy(plan.target, gameState.curPiece[0], sizeof plan.target);
  plan.targetX = x;
}

TEST(ComputerPlayer, HoldsKeysLikeAPersonUnderTheRepeatRule) {
  StartWithComputer(1000);
  SquarePlannedTo(0);
  Clock clock = {};
  int movedAt[3] = {-1, -1, -1}, moves = 0, fellAt = -1;
  for (int f = 0; f < 20 && fellAt < 0; ++f) {
    const int x = gameState.pieceX[0];
    const Action a = Ask(0);
    if (f < 11) {
      EXPECT_EQ(Action::Left, a) << "frame " << f << ": held, not released";
    }
    Step(clock, {a, Action::NoAction});
    if (gameState.pieceX[0] == x - 1 && moves < 3) movedAt[moves++] = f;
    if (gameState.pieceY[0] == 0 && gameState.board[0][0 * WELL_ROWS + 19] != 0) fellAt = f;
  }
  EXPECT_EQ(0, movedAt[0]);
  EXPECT_EQ(5, movedAt[1]) << "a held move repeats every 5th frame";
  EXPECT_EQ(10, movedAt[2]);
  EXPECT_EQ(11, fellAt) << "Fall, another key, acts at once";

  // The next piece needs no move when planned in place: Fall is still in its
  // long delay, so one row down first lets the Fall act on the next frame.
  SquarePlannedTo(SPAWN_COLUMN);
  EXPECT_EQ(Action::SpeedUp, Ask(0));
  Step(clock, {Action::SpeedUp, Action::NoAction});
  EXPECT_EQ(Action::Fall, Ask(0));

  // Lifted above the top by a garbage row, the piece cannot turn or move:
  // one row down first, then a plan from the well's top row.
  gameState.pieceY[0] = -1;
  for (int f = 0; f < 5 && gameState.pieceY[0] < 0; ++f) {
    EXPECT_EQ(Action::SpeedUp, Ask(0)) << "frame " << f;  // held through its delay
    Step(clock, {Action::SpeedUp, Action::NoAction});
  }
  EXPECT_EQ(0, gameState.pieceY[0]);
  EXPECT_NE(Action::SpeedUp, Ask(0)) << "steers again once back in the well";
}

TEST(ComputerPlayer, ClearsFourRowsWithTheBarBesideAWall) {
  for (int hole : {0, 9}) {
    for (bool upright : {true, false}) {
      StartWithComputer(1000);
      for (int r = 16; r < 20; ++r) FillRow(0, r, hole, 2);
      PlacePiece(0, 3, 3, 0);
      if (upright) TurnMatrix(gameState.curPiece[0], true);
      LoadTemplate(gameState.swapPiece, PieceTable[4]);
      Clock clock = {};
      for (int f = 0; f < 200 && gameState.score[0] == 0; ++f) Step(clock, {Ask(0), Action::NoAction});
      EXPECT_EQ(10, gameState.score[0]) << "hole " << hole << (upright ? " upright" : " lying");
      int settled = 0;
      for (int32_t v : gameState.board[0]) settled += v != 0;
      EXPECT_EQ(0, settled) << "hole " << hole << (upright ? " upright" : " lying");
    }
  }
}

TEST(ComputerPlayer, ReadsThePreviewOnlyWhileItShows) {
  // Positions from a game of its own; at each, every possible next piece.
  StartWithComputer(4242);
  Clock clock = {};
  int differ[2] = {0, 0};
  for (int position = 0; position < 8; ++position) {
    for (int f = 0; f < 300; ++f) Step(clock, {Ask(0), Action::NoAction});
    ASSERT_FALSE(gameState.gameOver[0]);
    PieceTemplate shown;
    std::memcpy(shown, gameState.nextPiece[0], sizeof shown);
    for (int blind = 0; blind < 2; ++blind) {
      gameState.previewBlind[0] = blind ? 250 : 0;
      ComputerPlan first = {};
      for (int t = 0; t < PIECE_TYPES; ++t) {
        std::memcpy(gameState.nextPiece[0], PieceTable[t], sizeof shown);
        ComputerMind kept = computerState.mind[0];
        const ComputerPlan plan = PlanPlacement(0);
        computerState.mind[0] = kept;
        if (t == 0) first = plan;
        if (plan.targetX != first.targetX || plan.swapFirst != first.swapFirst ||
            std::memcmp(plan.target, first.target, sizeof plan.target) != 0) {
          differ[blind] += 1;
        }
      }
    }
    std::memcpy(gameState.nextPiece[0], shown, sizeof shown);
    gameState.previewBlind[0] = 0;
  }
  EXPECT_EQ(0, differ[1]) << "a blank preview's piece changed a plan";
  EXPECT_LT(0, differ[0]) << "the shown preview never mattered: is it read at all?";

  // The whole action stream until the hidden piece falls: the same for any
  // hidden piece.
  Action streams[2][400];
  int length[2] = {0, 0};
  for (int run = 0; run < 2; ++run) {
    StartWithComputer(99);
    gameState.previewBlind[0] = 1000;
    std::memcpy(gameState.nextPiece[0], PieceTable[run == 0 ? 3 : 5], sizeof(PieceTemplate));
    Clock c = {};
    for (int f = 0; f < 400; ++f) {
      streams[run][length[run]++] = Ask(0);
      Step(c, {streams[run][f], Action::NoAction});
      bool locked = false;
      for (int32_t v : gameState.board[0]) locked = locked || v != 0;
      if (locked) break;
    }
  }
  ASSERT_EQ(length[0], length[1]);
  EXPECT_GT(400, length[0]) << "the piece never landed";
  EXPECT_EQ(0, std::memcmp(streams[0], streams[1], sizeof(Action) * length[0]));
}

// The random player of the simulator's kind: holds a random input (never
// Pause) for 1 to 24 frames.
struct RandomPlayer {
  Xorshift64 generator;
  int32_t left;
  Action current;
  Action Choose() {
    static const Action choices[] = {Action::Left,  Action::Right,    Action::RotateCW, Action::RotateCCW,
                                     Action::SpeedUp, Action::Fall,   Action::Swap,     Action::NoAction,
                                     Action::NoAction, Action::Left,  Action::Right};
    if (left-- > 0) return current;
    left = static_cast<int32_t>(generator.Below(24));
    current = choices[generator.Below(sizeof choices / sizeof choices[0])];
    return current;
  }
};

TEST(ComputerPlayer, BeatsTheRandomPlayer) {
  int wins = 0;
  for (uint32_t match = 1; match <= 100; ++match) {
    StartWithComputer(match * 104729u);
    RandomPlayer random = {match * 2654435761u + 0x9e3779b97f4a7c15ull, 0, Action::NoAction};
    Clock clock = {};
    // The random player tops out within a few thousand frames.
    for (int f = 0; f < 20000 && !gameState.gameOver[0] && !gameState.gameOver[1]; ++f) {
      Step(clock, {ComputerAction(0, COMPUTER_LEVEL_MAX), random.Choose()});
    }
    wins += gameState.gameOver[1] && !gameState.gameOver[0];
  }
  EXPECT_LE(95, wins) << "wins of 100";
}

}  // namespace

namespace {

uint64_t Fnv(uint64_t h, const void* data, size_t n) {
  const unsigned char* b = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  return h;
}

// Both players at the given levels for up to `frames` frames from tick: a
// digest of every action held, frame by frame, and of the wells and scores
// at the end.
uint64_t MatchDigest(uint32_t tick, int32_t level0, int32_t level1, int frames) {
  StartWithComputer(tick);
  Clock clock = {};
  uint64_t h = 14695981039346656037ull;
  for (int f = 0; f < frames && !(gameState.gameOver[0] && gameState.gameOver[1]); ++f) {
    const Action held[2] = {ComputerAction(0, level0), ComputerAction(1, level1)};
    h = Fnv(h, held, sizeof held);
    Step(clock, held);
  }
  h = Fnv(h, gameState.board, sizeof gameState.board);
  return Fnv(h, gameState.score, sizeof gameState.score);
}

TEST(ComputerLevels, LevelFiveIsTheComputerAsItWasAndTheFallback) {
  // Digests of the computer before there were levels, for the same matches.
  const struct {
    uint32_t tick;
    uint64_t digest;
  } matches[] = {{1000u, 0x176384b7fd8570adull}, {31337u, 0x939f46472bdf7aefull}, {4000000000u, 0xe6f9789dcde5f81full}};
  for (const auto& match : matches) {
    EXPECT_EQ(match.digest, MatchDigest(match.tick, 5, 5, 18000)) << "tick " << match.tick;
  }
  for (int32_t level : {0, 6, -1, 255}) {
    EXPECT_EQ(matches[0].digest, MatchDigest(matches[0].tick, level, level, 18000)) << "level " << level;
  }
  // The lower levels draw from a generator seeded by the match: the same
  // match plays the same, another match otherwise.
  EXPECT_EQ(MatchDigest(77, 1, 2, 3000), MatchDigest(77, 1, 2, 3000));
  EXPECT_NE(MatchDigest(77, 1, 2, 3000), MatchDigest(78, 1, 2, 3000));
  EXPECT_NE(computerState.mind[0].random, computerState.mind[1].random);
}

// Would the held action act this frame (a press), by the engine's repeat rule?
bool Presses(int p, Action a) {
  return a != Action::NoAction && (gameState.repeatDelay[p] == 0 || gameState.lastAction[p] != a);
}

int SettledCount(int p) {
  int n = 0;
  for (int32_t v : gameState.board[p]) n += v != 0;
  return n;
}

TEST(ComputerLevels, PressesAndReactionsNoSoonerThanTheLevelAllows) {
  for (int32_t level = COMPUTER_LEVEL_MIN; level < COMPUTER_LEVEL_MAX; ++level) {
    const ComputerLevel& rules = ComputerLevelRules(level);
    StartWithComputer(4000u + static_cast<uint32_t>(level));
    Clock clock = {};
    // The match's first piece appears at Start, before frame 0's tick.
    int lastPress = -1000, appeared = -1, firstPress = -1, fewestGap = 1000, fewestReaction = 1000;
    int swaps = 0, pieces = 0;
    for (int f = 0; f < 4000 && !gameState.gameOver[0]; ++f) {
      const Action a = ComputerAction(0, level);
      if (Presses(0, a)) {
        EXPECT_LE(rules.pressGapFrames, f - lastPress) << "level " << level << " frame " << f;
        if (f - lastPress < fewestGap) fewestGap = f - lastPress;
        lastPress = f;
        if (firstPress < appeared) {
          firstPress = f;
          EXPECT_LE(rules.reactFrames, f - appeared) << "level " << level << " frame " << f;
          if (f - appeared < fewestReaction) fewestReaction = f - appeared;
        }
        swaps += a == Action::Swap;
      }
      const int before = SettledCount(0);
      Step(clock, {a, Action::NoAction});
      // A lock adds four cells, less ten for each row it clears: the next
      // piece appears with it.
      if ((SettledCount(0) - before + 40) % 10 == 4) {
        appeared = f;
        pieces += 1;
      }
    }
    EXPECT_FALSE(gameState.gameOver[0]) << "level " << level;
    EXPECT_EQ(rules.pressGapFrames, fewestGap) << "level " << level << ": the gap is the limit, not more";
    EXPECT_EQ(rules.reactFrames, fewestReaction) << "level " << level;
    EXPECT_LT(10, pieces) << "level " << level;
    EXPECT_TRUE(rules.useSwap || swaps == 0) << "level " << level << " swapped " << swaps << " times";
  }

  // Garbage lifting the well mid-piece: the steering stops for the level's
  // reaction, then goes on.
  const ComputerLevel& rules = ComputerLevelRules(2);
  StartWithComputer(1000);
  Clock clock = {};
  for (int f = 0; f < 200; ++f) {
    const Action a = ComputerAction(0, 2);
    const bool pressed = Presses(0, a);
    Step(clock, {a, Action::NoAction});
    if (pressed) break;
  }
  for (int c = 0; c < WELL_COLUMNS; ++c) {
    int32_t* column = &gameState.board[0][c * WELL_ROWS];
    for (int r = 0; r < WELL_ROWS - 1; ++r) column[r] = column[r + 1];
  }
  FillRow(0, WELL_ROWS - 1, 4, 3);
  gameState.pieceY[0] -= 1;
  int waited = 0;
  for (; waited < 200; ++waited) {
    const Action a = ComputerAction(0, 2);
    if (Presses(0, a)) break;
    Step(clock, {a, Action::NoAction});
  }
  EXPECT_EQ(rules.garbageReactFrames, waited + 1) << "frames from the garbage to the next press";
}

}  // namespace
