// The frame clock's catch-up arithmetic.
#include "ui/frame_clock.h"

#include "engine/engine.h"

uint32_t FrameTicksDue(FrameClock& clock, uint32_t nowMs) {
  if (!clock.running) {
    clock.running = true;
    clock.lastMs = nowMs;
    return 1;
  }
  // Unsigned: the difference is right across the wrap of the count.
  const uint32_t due = (nowMs - clock.lastMs) / FRAME_PERIOD_MS;
  if (due > MAX_CATCH_UP_TICKS) {
    clock.lastMs = nowMs;
    return MAX_CATCH_UP_TICKS;
  }
  clock.lastMs += due * FRAME_PERIOD_MS;
  return due;
}

uint32_t FrameTimerPeriod(const GameState& state) {
  if (state.gameOver[0] && state.gameOver[1]) return TITLE_TIMER_PERIOD_MS;
  return state.paused ? PAUSED_TIMER_PERIOD_MS : FRAME_PERIOD_MS;
}
