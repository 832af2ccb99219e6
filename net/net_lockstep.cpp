// The lockstep: local inputs sent ahead by the delay, the peer's inputs
// gathered (duplicates and reordering absorbed), frames handed out only
// when both inputs are here, digests compared, and the pace measured.
#include <cstring>

#include "engine/xorshift.h"
#include "net/net_internal.h"
#include "replay/recording.h"

namespace {

constexpr uint32_t HOLD_SPACING_FRAMES = 25;

const NetInput NO_INPUT = {Action::NoAction, 0, {0, 0}, {{0, 0}, 0}};

uint32_t NextRandom(NetSession& s) { return NextXorshift32(s.random); }

void Differ(NetSession& s, uint32_t frame, uint32_t nowMs) {
  if (!s.byeSent) SendBye(s, NetReason::Differ, frame, 0, 0, nowMs);
  EndSession(s, NetEnd::Differ, frame);
}

// The peer's digest of `frame` frames against ours: compared when ours is
// held, kept when this side has not got there yet, else too old to matter.
void TakePeerDigest(NetSession& s, uint32_t frame, uint64_t digest, uint32_t nowMs) {
  for (int i = 0; i < 2; ++i) {
    if (s.digestFrame[i] == frame) {
      if (s.digest[i] != digest) Differ(s, frame, nowMs);
      return;
    }
  }
  if (frame > s.frame) {
    s.peerDigestFrame = frame;
    s.peerDigest = digest;
  }
}

// Checks a Play against what the peer can have: its frame and its
// acknowledgement no further than our inputs, inputs within the ring and
// past the frames without input, events its side may send.
NetDrop PlayFault(const NetSession& s, const NetDatagram& d) {
  if (d.frame > s.localNext || d.ack > s.localNext || d.digestFrame > d.frame) return NetDrop::Frames;
  if (d.digestFrame % NET_DIGEST_FRAMES != 0) return NetDrop::Frames;
  if (d.count != 0 &&
      (d.firstFrame < s.delay || static_cast<uint64_t>(d.firstFrame) + d.count > static_cast<uint64_t>(s.frame) + NET_RING)) {
    return NetDrop::Frames;
  }
  const uint8_t forbidden = s.host ? NET_EVENT_START : NET_EVENT_START_REQUEST;
  for (int32_t i = 0; i < d.count; ++i) {
    if (d.inputs[i].events & forbidden) return NetDrop::Role;
  }
  return NetDrop::Count;
}

}  // namespace

void BeginLockstep(NetSession& s) {
  s.frame = 0;
  s.localNext = s.remoteNext = s.peerAck = s.delay;
  std::memset(s.remoteFrame, 0, sizeof s.remoteFrame);
  s.pendingEvents = 0;
  s.startFrame = 0;
  s.digestFrame[0] = s.digestFrame[1] = 0;
  s.peerDigestFrame = 0;
  s.advantage16 = s.peerAdvantage16 = 0;
  s.lastHoldFrame = 0;
}

void SendPlay(NetSession& s, uint32_t nowMs) {
  NetDatagram d;
  d.kind = NetKind::Play;
  d.format = NET_FORMAT;
  d.session = s.session;
  d.time = nowMs;
  d.echo = s.echoTime;
  const uint32_t held = nowMs - s.echoReceivedMs;
  d.held = static_cast<uint16_t>(held > 0xFFFF ? 0xFFFF : held);
  d.delay = s.delay;
  d.frame = s.frame;
  const int32_t a = s.advantage16;
  d.advantage = static_cast<int16_t>(a > 32767 ? 32767 : a < -32768 ? -32768 : a);
  d.ack = s.remoteNext;
  d.digestFrame = s.digestFrame[0];
  d.digest = s.digest[0];
  d.firstFrame = s.peerAck;
  const uint32_t unacked = s.localNext - s.peerAck;
  d.count = static_cast<int32_t>(unacked < NET_MAX_INPUTS ? unacked : NET_MAX_INPUTS);
  for (int32_t i = 0; i < d.count; ++i) d.inputs[i] = s.localInput[(s.peerAck + i) % NET_RING];
  SendTo(s, s.peer, d, nowMs);
}

bool TakePlay(NetSession& s, const NetDatagram& d, uint32_t nowMs) {
  const NetDrop fault = PlayFault(s, d);
  if (fault != NetDrop::Count) {
    s.counters.dropped[static_cast<int>(fault)] += 1;
    return false;
  }
  if (d.ack > s.peerAck) s.peerAck = d.ack;
  for (int32_t i = 0; i < d.count; ++i) {
    const uint32_t f = d.firstFrame + static_cast<uint32_t>(i);
    if (f < s.remoteNext) continue;  // held already, or run
    s.remoteInput[f % NET_RING] = d.inputs[i];
    s.remoteFrame[f % NET_RING] = f + 1;
  }
  while (s.remoteFrame[s.remoteNext % NET_RING] == s.remoteNext + 1) s.remoteNext += 1;

  // The round trip: our time echoed, less what the peer held it.
  if (d.echo != 0 && nowMs - d.echo >= d.held) s.rttMs = nowMs - d.echo - d.held;
  s.echoTime = d.time;
  s.echoReceivedMs = nowMs;
  // How far ahead we run as seen here, smoothed (1/16 frames); the peer's
  // own view comes with its datagrams. Half the difference is the lead.
  const int32_t seen = static_cast<int32_t>(s.frame - d.frame) * 16;
  s.advantage16 += (seen - s.advantage16) / 8;
  s.peerAdvantage16 = d.advantage;
  if (d.digestFrame != 0) TakePeerDigest(s, d.digestFrame, d.digest, nowMs);
  return true;
}

void TakeFinalDigest(NetSession& s, uint32_t frame, uint64_t digest) {
  if (frame == 0) return;
  if (frame == s.frame) {
    if (DigestGameState() != digest) EndSession(s, NetEnd::Differ, frame);
  } else if (frame > s.frame) {
    s.peerDigestFrame = frame;
    s.peerDigest = digest;
  }
}

bool NetPlaying(const NetSession& s) {
  return s.phase == NetPhase::Playing || (s.phase == NetPhase::Ended && s.endReason == NetEnd::Left);
}

bool NetWantsLocal(const NetSession& s) {
  return s.phase == NetPhase::Playing && s.localNext <= s.frame + s.delay &&
         s.localNext - s.peerAck < static_cast<uint32_t>(NET_RING);
}

void NetSubmitLocal(NetSession& s, Action action, uint32_t nowMs) {
  if (!NetWantsLocal(s)) return;
  NetInput& in = s.localInput[s.localNext % NET_RING];
  in = NO_INPUT;
  in.action = action;
  in.events = s.pendingEvents;
  in.shadow[0] = s.pendingShadow[0];
  in.shadow[1] = s.pendingShadow[1];
  if (in.events & NET_EVENT_START) {
    if (s.options.fixedGenerator) {
      in.generator = s.options.generator;
    } else {
      in.generator.seed[0] = NextRandom(s);
      in.generator.seed[1] = NextRandom(s);
      in.generator.state = NextRandom(s);
    }
    s.startFrame = s.localNext + 1;
  }
  s.pendingEvents = 0;
  s.localNext += 1;
  SendPlay(s, nowMs);
}

void NetRequestStart(NetSession& s) { s.pendingEvents |= s.host ? NET_EVENT_START : NET_EVENT_START_REQUEST; }

void NetRequestStop(NetSession& s) { s.pendingEvents |= NET_EVENT_STOP; }

void NetRequestShadow(NetSession& s, int p, uint8_t value) {
  if (!ValidPlayer(p)) return;
  s.pendingEvents |= p == 0 ? NET_EVENT_SHADOW0 : NET_EVENT_SHADOW1;
  s.pendingShadow[p] = value;
}

bool NetFrameReady(const NetSession& s) {
  if (!NetPlaying(s)) return false;
  return s.frame < s.delay || (s.frame < s.remoteNext && s.frame < s.localNext);
}

bool NetNextFrame(NetSession& s, NetFrame& out) {
  if (!NetFrameReady(s)) return false;
  const uint32_t f = s.frame;
  const NetInput& local = f < s.delay ? NO_INPUT : s.localInput[f % NET_RING];
  const NetInput& remote = f < s.delay ? NO_INPUT : s.remoteInput[f % NET_RING];
  const NetInput& first = s.host ? local : remote;   // player 0's side
  const NetInput& second = s.host ? remote : local;  // player 1's side
  out = NetFrame{};
  out.number = f;
  out.action[0] = first.action;
  out.action[1] = second.action;
  out.start = (first.events & NET_EVENT_START) != 0;
  out.generator = first.generator;
  out.stop = ((first.events | second.events) & NET_EVENT_STOP) != 0;
  // Player 0's side first: when both set a switch in one frame, player 1's
  // side has the last word.
  const NetInput* sides[2] = {&first, &second};
  for (const NetInput* in : sides) {
    for (int p = 0; p < PLAYERS; ++p) {
      if (!(in->events & (p == 0 ? NET_EVENT_SHADOW0 : NET_EVENT_SHADOW1))) continue;
      out.shadowSet[p] = true;
      out.shadow[p] = in->shadow[p];
    }
  }
  // The joiner asked for a Start: the host's next input carries one, unless
  // one is on its way already.
  if (s.host && (second.events & NET_EVENT_START_REQUEST) && s.startFrame <= f) {
    s.pendingEvents |= NET_EVENT_START;
  }
  s.frame = f + 1;
  return true;
}

void SetNetGenerator(const NetGenerator& g) {
  gameState.rngSeeded = true;
  gameState.rngSeed[0] = static_cast<int32_t>(g.seed[0]);
  gameState.rngSeed[1] = static_cast<int32_t>(g.seed[1]);
  randState = g.state;
}

void NetFrameDone(NetSession& s, uint32_t nowMs) {
  const bool regular = s.frame % NET_DIGEST_FRAMES == 0;
  const bool final = s.peerDigestFrame == s.frame && s.frame != 0;
  if (!regular && !final) return;
  const uint64_t digest = DigestGameState();
  if (regular) {
    s.digestFrame[1] = s.digestFrame[0];
    s.digest[1] = s.digest[0];
    s.digestFrame[0] = s.frame;
    s.digest[0] = digest;
  }
  if (final) {
    s.peerDigestFrame = 0;
    if (s.peerDigest != digest) Differ(s, s.frame, nowMs);
  }
}

bool NetFrameDue(NetSession& s, uint32_t nowMs) {
  if (static_cast<int32_t>(s.clockStartMs + s.frame * FRAME_PERIOD_MS - nowMs) > 0) return false;
  if (!NetShouldHold(s)) return true;
  s.clockStartMs += FRAME_PERIOD_MS;  // this frame comes one frame later
  return false;
}

bool NetShouldHold(NetSession& s) {
  if (s.phase != NetPhase::Playing || s.frame - s.lastHoldFrame < HOLD_SPACING_FRAMES) return false;
  if ((s.advantage16 - s.peerAdvantage16) / 2 < 16) return false;
  s.lastHoldFrame = s.frame;
  s.counters.holds += 1;
  return true;
}
