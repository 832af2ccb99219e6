// The frame clock's catch-up with a fake millisecond count: carried
// remainders, the cap and resynchronisation, the wrap of the count.
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

}  // namespace
