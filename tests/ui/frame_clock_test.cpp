// The frame clock's catch-up with a fake millisecond count: carried
// remainders, the cap and resynchronisation, the wrap of the count, and the
// pace over many messages of a coarse or late timer.
#include <gtest/gtest.h>

#include "ui/frame_clock.h"

namespace {

TEST(FrameClock, CatchesUpCarriesTheRestAndResynchronises) {
  FrameClock c = {};
  EXPECT_EQ(1u, FrameTicksDue(c, 1000)) << "the first message runs one tick";
  EXPECT_EQ(1u, FrameTicksDue(c, 1010));
  EXPECT_EQ(0u, FrameTicksDue(c, 1019)) << "not due yet";
  EXPECT_EQ(2u, FrameTicksDue(c, 1035)) << "25 ms after the last tick";
  EXPECT_EQ(1030u, c.lastMs) << "5 ms carried over";
  EXPECT_EQ(1u, FrameTicksDue(c, 1040)) << "the carried 5 ms count";
  EXPECT_EQ(5u, FrameTicksDue(c, 1090)) << "exactly the most that may run";
  EXPECT_EQ(1090u, c.lastMs);
  EXPECT_EQ(5u, FrameTicksDue(c, 11090)) << "a 10 s stall";
  EXPECT_EQ(11090u, c.lastMs) << "set to now: no burst afterwards";
  EXPECT_EQ(0u, FrameTicksDue(c, 11099));
  EXPECT_EQ(5u, FrameTicksDue(c, 11169)) << "six due";
  EXPECT_EQ(11169u, c.lastMs);

  c.running = false;
  EXPECT_EQ(1u, FrameTicksDue(c, 50)) << "restarted";
  EXPECT_EQ(50u, c.lastMs);
}

TEST(FrameClock, WrapsAroundTheMillisecondCount) {
  FrameClock c = {true, 0xFFFFFFF0u};
  EXPECT_EQ(2u, FrameTicksDue(c, 5)) << "21 ms across the wrap";
  EXPECT_EQ(4u, c.lastMs);
  EXPECT_EQ(0u, FrameTicksDue(c, 13));
  c = {true, 0xFFFFFFFFu};
  EXPECT_EQ(0u, FrameTicksDue(c, 8));
  EXPECT_EQ(1u, FrameTicksDue(c, 9));
}

// Over 10 s the ticks keep 100 a second whether the messages come every
// 15.6 ms (a coarse system tick) or come late at random, but never more
// than 5 in one message.
TEST(FrameClock, KeepsThePaceOfLateMessages) {
  for (int kind = 0; kind < 2; ++kind) {
    FrameClock c = {};
    uint32_t total = 0, most = 0, seed = 12345;
    double now = 4294960000.0;  // wraps during the run
    FrameTicksDue(c, static_cast<uint32_t>(now));
    const double end = now + 10000.0;
    while (true) {
      seed = seed * 1103515245u + 12345u;
      now += kind == 0 ? 15.625 : 10.0 + (seed >> 16) % 30;
      if (now > end) break;
      const uint32_t n = FrameTicksDue(c, static_cast<uint32_t>(static_cast<uint64_t>(now)));
      total += n;
      most = n > most ? n : most;
    }
    EXPECT_NEAR(1000.0, total, 2.0) << "kind " << kind;
    EXPECT_GE(5u, most) << "kind " << kind;
  }
}

}  // namespace
