// Gravity counted in frames: in a network match (and in the simulator) each
// player's gravity tick comes when the 10 ms frame steps reach the period
// last armed, so both programs run it at the same frame whatever their
// timers do. Platform-free.
#pragma once

#include <cstdint>

struct FrameGravity {
  uint64_t nowMs;        // 10 ms per frame step since the clock began
  uint64_t due[2];       // the step time each player's next gravity tick is due at
  uint32_t period[2];    // the period last armed, at least FRAME_GRAVITY_MINIMUM_MS
  int64_t arms[2];       // arms so far: a re-arm during a tick is seen by this count
};

// The clock of the network match (the window's) and of the simulator.
extern FrameGravity frameGravity;

// Windows timers run a shorter period at 10 ms; so does this clock, which
// also keeps a level past 999 (period 0) from ticking without end.
constexpr uint32_t FRAME_GRAVITY_MINIMUM_MS = 10;

// Called by the host's ArmGravityTimer while gravity is counted in frames:
// p's next gravity tick comes periodMs (at least the minimum) after now.
void ArmFrameGravity(FrameGravity& g, int p, uint32_t periodMs);

// Called before each frame tick: the clock moves on by one 10 ms step.
void AdvanceFrameGravity(FrameGravity& g);

// Called after each frame tick: calls tick(p) for each player whose gravity
// is due, player 0 first, at most once each; a tick that does not re-arm
// makes the next one due a period later.
void RunDueGravity(FrameGravity& g, void (*tick)(int p));
