// The piece streams: the exact chain, seeding once per process, the shared
// stream's dependence on the last draw, and the range of a draw. The small
// generators beside them, pinned: recordings and the simulator's output
// depend on their sequences.
#include <gtest/gtest.h>

#include "engine/xorshift.h"
#include "tests/engine/test_host.h"

namespace {

void FreshProcess(uint32_t tick) {
  gameState = {};
  randState = 0xdeadbeef;
  ResetTestHost();
  testHost.tickCount = tick;
}

}  // namespace

TEST(PieceStreams, ChainFromTickThousand) {
  FreshProcess(1000);
  const int32_t values[6] = {3304, 10828, 2630, 8627, 28210, 26624};
  const int pieces[6] = {0, 2, 0, 1, 6, 5};
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(pieces[k], RandomDraw(0, 7)) << "draw " << k;
    EXPECT_EQ(values[k], gameState.rngSeed[0]) << "draw " << k;
  }
  // Player 1's stream is the same chain, however far player 0 has read.
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(pieces[k], RandomDraw(1, 7)) << "draw " << k;
    EXPECT_EQ(values[k], gameState.rngSeed[1]) << "draw " << k;
  }
  EXPECT_EQ(1, testHost.tickReads);
}

TEST(PieceStreams, FirstStartDealsBothPlayersTheSame) {
  StartTestMatch(1000);
  for (int p = 0; p < 2; ++p) {
    for (int j = 0; j < 8; ++j) EXPECT_EQ(PieceTable[0][j], gameState.nextPiece[p][j]) << p;
    PieceMatrix expected;
    LoadTemplate(expected, PieceTable[2]);
    for (int j = 0; j < 16; ++j) EXPECT_EQ(expected[j], gameState.curPiece[p][j]) << p;
  }
  // The shared draw after each reset continues from 10828's state: 32710.
  EXPECT_EQ(32710u, (randState >> 16) & 0x7FFF);
  PieceMatrix swap;
  LoadTemplate(swap, PieceTable[6]);
  for (int j = 0; j < 16; ++j) EXPECT_EQ(swap[j], gameState.swapPiece[j]);

  // A second Start does not reseed: the chains go on with 2630 and 8627.
  testHost.tickCount = 77;
  ResetPlayer(0);
  EXPECT_EQ(1, testHost.tickReads);
  EXPECT_EQ(8627, gameState.rngSeed[0]);
  EXPECT_EQ(PieceTable[0][0], gameState.nextPiece[0][0]);
  EXPECT_EQ(PieceTable[1][1], gameState.curPiece[0][1]);
}

TEST(PieceStreams, SeedingAndRange) {
  // A shared draw as the first draw of the process still seeds both streams.
  FreshProcess(1000);
  EXPECT_EQ(0, RandomDraw(SHARED_STREAM, 7));
  EXPECT_TRUE(gameState.rngSeeded);
  EXPECT_EQ(1000, gameState.rngSeed[0]);
  EXPECT_EQ(1000, gameState.rngSeed[1]);
  EXPECT_EQ(0, RandomDraw(1, 7));
  EXPECT_EQ(3304, gameState.rngSeed[1]);

  // A tick count past 2^31 is kept as its bit pattern and seeds the same chain.
  FreshProcess(0x80000005u);
  EXPECT_EQ(0, RandomDraw(0, 7));
  EXPECT_EQ(static_cast<int32_t>(0x80000005u), gameState.rngSeed[1]);
  EXPECT_EQ(54, gameState.rngSeed[0]);

  // 30091 is followed by 32767, the top value: it yields n - 1, never n.
  gameState.rngSeed[0] = 30091;
  EXPECT_EQ(6, RandomDraw(0, 7));
  EXPECT_EQ(32767, gameState.rngSeed[0]);
  gameState.rngSeed[0] = 30091;
  EXPECT_EQ(9, RandomDraw(0, 10));
  gameState.rngSeed[0] = 30091;
  EXPECT_EQ(0, RandomDraw(0, 1));
  // A large n needs the 64-bit product.
  gameState.rngSeed[0] = 30091;
  EXPECT_EQ(999999, RandomDraw(0, 1000000));

  for (int k = 0; k < 2000; ++k) {
    const int colour = RandomDraw(SHARED_STREAM, 7) + 1;
    const int column = RandomDraw(k & 1, 10);
    ASSERT_TRUE(colour >= 1 && colour <= 7) << colour;
    ASSERT_TRUE(column >= 0 && column <= 9) << column;
  }
}

TEST(SmallGenerators, SequencesStayPut) {
  uint32_t x32 = 1;
  EXPECT_EQ(270369u, NextXorshift32(x32));
  EXPECT_EQ(67634689u, NextXorshift32(x32));
  uint64_t splitmix = 0;
  EXPECT_EQ(0xe220a8397b1dcdafull, NextSplitMix64(splitmix));
  EXPECT_EQ(GOLDEN_GAMMA, splitmix);
  Xorshift64 seeded = SeededXorshift64(7);
  EXPECT_EQ(0x9e3779bdd2cecfecull, seeded.state);
  EXPECT_EQ(472947u, seeded.Below(1000000));
  EXPECT_EQ(0x2545f4914f6cdd1dull, SeededXorshift64(15410147969449583195ull).state) << "never the stuck 0";
}
