// The frame clock: how many frame ticks one message of the frame timer runs,
// from a millisecond count. No platform header: built and tested natively.
#pragma once

#include <cstdint>

#include "engine/engine.h"

// The most frame ticks one timer message runs. A longer stall (a capture, a
// window drag, a suspended machine) sets the clock to now instead, so play
// never bursts ahead.
constexpr uint32_t MAX_CATCH_UP_TICKS = 5;

struct FrameClock {
  bool running;     // false until the first message, and again after Start
  uint32_t lastMs;  // when the last tick run was due
};

// Called for each message of the frame timer with the millisecond count:
// the ticks due since the last one, one per FRAME_PERIOD_MS elapsed (the rest
// carried over), at most MAX_CATCH_UP_TICKS. The first message runs one.
// The count may wrap around 2^32.
uint32_t FrameTicksDue(FrameClock& clock, uint32_t nowMs);

// The frame timer's period, by what a tick can do. There are FRAME_PERIOD_MS
// between ticks whatever the period: a longer one makes each message run the
// ticks due. In play, one message a tick. Paused, a tick only samples the
// controls (a key message brings the pace back at once, see
// QuickenFrameTimer). At the title (both out) it samples nothing and draws
// nothing new; Start brings the pace back. Fewer wake-ups cost less CPU.
constexpr uint32_t PAUSED_TIMER_PERIOD_MS = 20;
constexpr uint32_t TITLE_TIMER_PERIOD_MS = 40;
static_assert(TITLE_TIMER_PERIOD_MS / FRAME_PERIOD_MS < MAX_CATCH_UP_TICKS,
              "a late message at the title still runs every tick due");
uint32_t FrameTimerPeriod(const GameState& state);
