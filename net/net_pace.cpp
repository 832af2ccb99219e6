// The pace: the frame clock, the late time dropped after a stall, and the
// holds by which the side that runs ahead lets the other catch up.
#include "net/net_pace.h"

#include "engine/engine.h"

namespace {

constexpr uint32_t HOLD_SPACING_FRAMES = 25;

int32_t MsPastDue(const NetSession& s, uint32_t nowMs) {
  return static_cast<int32_t>(nowMs - s.clockStartMs - s.frame * FRAME_PERIOD_MS);
}

// True when this side runs ahead of the other by a frame or more (at most
// once in 25 frames).
bool ShouldHold(NetSession& s) {
  if (s.phase != NetPhase::Playing || s.frame - s.lastHoldFrame < HOLD_SPACING_FRAMES) return false;
  if ((s.advantage16 - s.peerAdvantage16) / 2 < 16) return false;
  s.lastHoldFrame = s.frame;
  s.counters.holds += 1;
  return true;
}

}  // namespace

bool FrameDue(NetSession& s, uint32_t nowMs, bool& held) {
  if (MsPastDue(s, nowMs) < 0) return false;
  if (!ShouldHold(s)) return true;
  s.clockStartMs += FRAME_PERIOD_MS;  // this frame comes one frame later
  held = true;
  return false;
}

void DropLateFrames(NetSession& s, uint32_t nowMs) {
  const int32_t behind = MsPastDue(s, nowMs) / static_cast<int32_t>(FRAME_PERIOD_MS);
  if (behind <= static_cast<int32_t>(NET_MAX_LATE_FRAMES)) return;
  const uint32_t dropped = static_cast<uint32_t>(behind) - NET_MAX_LATE_FRAMES;
  s.counters.lateFrames += dropped;
  s.clockStartMs += dropped * FRAME_PERIOD_MS;
}

uint32_t NetMsUntilDue(const NetSession& s, uint32_t nowMs) {
  if (!NetPlaying(s)) return FRAME_PERIOD_MS;
  const int32_t past = MsPastDue(s, nowMs);
  return past >= 0 ? 0u : static_cast<uint32_t>(-past);
}
