// The lockstep: local inputs sent ahead by the delay, the peer's inputs
// gathered (duplicates and reordering absorbed), frames handed out only
// when both inputs are here.
#include "net/net_lockstep.h"

#include <cstring>

#include "engine/xorshift.h"
#include "net/net_digest.h"
#include "net/net_link.h"

namespace {

const NetInput NO_INPUT = {Action::NoAction, 0, {0, 0}, {{0, 0}, 0}};

uint32_t NextRandom(NetSession& s) { return NextXorshift32(s.random); }

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

void BeginLockstep(NetSession& s, uint32_t nowMs) {
  s.frame = 0;
  s.localNext = s.remoteNext = s.peerAck = s.delay;
  std::memset(s.remoteFrame, 0, sizeof s.remoteFrame);
  s.pendingEvents = 0;
  s.startFrame = 0;
  s.digestFrame[0] = s.digestFrame[1] = 0;
  s.peerDigestFrame = 0;
  s.advantage16 = s.peerAdvantage16 = 0;
  s.lastHoldFrame = 0;
  s.waitedFrame = 0;
  s.lastProgressMs = nowMs;
  s.played = true;
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
    Drop(s, fault);
    return false;
  }
  // The peer's own word on what it lacks, even below what an earlier
  // datagram said: an acknowledgement that claimed too much (forged, or
  // from another session's stray) must not stop the resending for good.
  // An old one come late only makes inputs go once more.
  if (s.localNext - d.ack < static_cast<uint32_t>(NET_RING) && d.ack >= s.delay) s.peerAck = d.ack;
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

bool WantsLocal(const NetSession& s) {
  return s.phase == NetPhase::Playing && s.localNext <= s.frame + s.delay &&
         s.localNext - s.peerAck < static_cast<uint32_t>(NET_RING);
}

void SubmitLocal(NetSession& s, Action action, uint32_t nowMs) {
  if (!WantsLocal(s)) return;
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

bool FrameReady(const NetSession& s) {
  if (!NetPlaying(s)) return false;
  return s.frame < s.delay || (s.frame < s.remoteNext && s.frame < s.localNext);
}

bool NextFrame(NetSession& s, NetFrame& out, uint32_t nowMs) {
  if (!FrameReady(s)) return false;
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
  s.lastProgressMs = nowMs;
  if (s.resumeHeardMs != 0) {  // the first frame after a wait on a silent peer
    s.lastResumeFrameMs = nowMs - (s.resumeHeardMs - 1);
    s.resumeHeardMs = 0;
    s.resumes += 1;
  }
  return true;
}
