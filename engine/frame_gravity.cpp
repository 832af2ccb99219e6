// Gravity counted in frame steps, as the simulator has always run it.
#include "engine/frame_gravity.h"

#include "engine/engine.h"

FrameGravity frameGravity;

void ArmFrameGravity(FrameGravity& g, int p, uint32_t periodMs) {
  g.period[p] = periodMs < FRAME_GRAVITY_MINIMUM_MS ? FRAME_GRAVITY_MINIMUM_MS : periodMs;
  g.due[p] = g.nowMs + g.period[p];
  g.arms[p] += 1;
}

void AdvanceFrameGravity(FrameGravity& g) { g.nowMs += FRAME_PERIOD_MS; }

void RunDueGravity(FrameGravity& g, void (*tick)(int p)) {
  for (int p = 0; p < PLAYERS; ++p) {
    if (g.nowMs < g.due[p]) continue;
    const int64_t arms = g.arms[p];
    tick(p);
    if (g.arms[p] == arms) g.due[p] = g.nowMs + g.period[p];
  }
}
