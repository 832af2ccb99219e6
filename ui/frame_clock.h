// The frame clock: how many frame ticks one message of the frame timer runs,
// from a millisecond count. No platform header: built and tested natively.
#pragma once

#include <cstdint>

// The most frame ticks one timer message runs. A longer stall (a capture, a
// window drag, a suspended machine) sets the clock to now instead, so play
// never bursts ahead.
constexpr uint32_t MAX_CATCH_UP_TICKS = 5;

struct FrameClock {
  bool running;     // false until the first message, and again after Start
  uint32_t lastMs;  // when the last tick run was due
};

// The frame timer's clock (the window procedure's; Start stops it).
extern FrameClock frameClock;

// Called for each message of the frame timer with the millisecond count:
// the ticks due since the last one, one per FRAME_PERIOD_MS elapsed (the rest
// carried over), at most MAX_CATCH_UP_TICKS. The first message runs one.
// The count may wrap around 2^32.
uint32_t FrameTicksDue(FrameClock& clock, uint32_t nowMs);
