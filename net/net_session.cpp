// The peer protocol: the host's greetings (every joiner welcomed, the first
// to Play taken), joining, the handshake, every datagram's checks against
// the session and its route, the timers of silence, stalls and resending.
// The starts are net_start.cpp's, the ends' texts net_link.cpp's.
#include <cstdio>
#include <cstring>

#include "net/net_digest.h"
#include "net/net_link.h"
#include "net/net_lockstep.h"
#include "replay/recording.h"

namespace {

NetSession netSessions[NET_SESSIONS];

constexpr uint32_t REFUSALS_PER_WINDOW = 10;
constexpr uint32_t REFUSE_WINDOW_MS = 100;
constexpr uint32_t DELAY_MARGIN_MS = 12;

void FillGreeting(const NetSession& s, NetDatagram& d, NetKind kind) {
  d.kind = kind;
  d.format = s.options.format;
  std::snprintf(d.version, sizeof d.version, "%s", s.options.version);
}

void SendJoinTo(NetSession& s, const NetAddress& to, uint32_t nowMs) {
  NetDatagram d{};
  FillGreeting(s, d, NetKind::Join);
  d.nonce = s.nonce;
  d.time = nowMs;
  d.delay = s.options.forcedDelay;
  SendTo(s, to, d, nowMs);
}

void SendJoin(NetSession& s, uint32_t nowMs) {
  s.joinSentMs = nowMs;
  SendJoinTo(s, s.peer, nowMs);
  if (s.orElseOn) SendJoinTo(s, s.orElse, nowMs);
}

// Joining by two addresses: the first that answers is the host's.
void TakeFirstAnswer(NetSession& s, const NetAddress& from, const NetDatagram& d) {
  if (!s.orElseOn || s.phase != NetPhase::Joining || d.nonce != s.nonce) return;
  if (d.kind != NetKind::Welcome && d.kind != NetKind::Refuse) return;
  if (SameAddress(from, s.orElse)) {
    s.peer = from;
  } else if (!SameAddress(from, s.peer)) {
    return;
  }
  s.orElseOn = false;
}

void SendWelcome(NetSession& s, const NetAddress& to, uint32_t nonce, uint32_t joinTime, uint32_t nowMs) {
  NetDatagram d{};
  FillGreeting(s, d, NetKind::Welcome);
  d.nonce = nonce;
  d.session = s.session;
  d.time = nowMs;
  d.echo = joinTime;
  d.delay = s.options.forcedDelay;
  SendTo(s, to, d, nowMs);
}

bool Live(const NetGreeting& g, uint32_t nowMs) { return g.used && nowMs - g.lastJoinMs < NET_GREETING_MS; }

// A stranger's Join while the port is taken; limited, so that a flood of
// Joins cannot make this side flood in turn.
void Refuse(NetSession& s, const NetAddress& to, uint32_t nonce, NetReason reason, uint32_t nowMs) {
  if (nowMs - s.refuseWindowMs >= REFUSE_WINDOW_MS) {
    s.refuseWindowMs = nowMs;
    s.refusalsInWindow = 0;
  }
  if (s.refusalsInWindow >= REFUSALS_PER_WINDOW) return;
  s.refusalsInWindow += 1;
  NetDatagram d{};
  FillGreeting(s, d, NetKind::Refuse);
  d.nonce = nonce;
  d.reason = reason;
  s.counters.refusals += 1;
  SendTo(s, to, d, nowMs);
}

void CopyVersion(NetSession& s, const NetDatagram& d) {
  std::memcpy(s.peerVersion, d.version, sizeof s.peerVersion);
  s.peerFormat = d.format;
}

// Greeting: every joiner's Join is welcomed (a repeated one too: it was
// lost, or the joiner measures the round trip), while a slot is free or its
// joiner has been silent for NET_GREETING_MS. A joiner that finds every slot
// taken repeats its Join until one frees.
bool Greet(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs) {
  NetGreeting* slot = nullptr;
  for (NetGreeting& g : s.greetings) {
    if (g.used && SameAddress(g.from, from)) {
      slot = &g;
      break;
    }
    if (!Live(g, nowMs) && slot == nullptr) slot = &g;
  }
  if (slot == nullptr) return false;
  if (!slot->used || !SameAddress(slot->from, from) || slot->nonce != d.nonce) {
    // A new one must not make the port answer a flood of spoofed Joins.
    if (nowMs - s.refuseWindowMs >= REFUSE_WINDOW_MS) {
      s.refuseWindowMs = nowMs;
      s.refusalsInWindow = 0;
    }
    if (s.refusalsInWindow >= REFUSALS_PER_WINDOW) return false;
    s.refusalsInWindow += 1;
    *slot = NetGreeting{from, d.nonce, nowMs, d.format, {}, true};
    std::memcpy(slot->version, d.version, sizeof slot->version);
  }
  slot->lastJoinMs = nowMs;
  s.phase = NetPhase::Greeting;
  SendWelcome(s, from, d.nonce, d.time, nowMs);
  return true;
}

// The first Play of a greeted joiner: it is the peer.
bool TakeGreeted(NetSession& s, const NetAddress& from, uint32_t nowMs) {
  for (const NetGreeting& g : s.greetings) {
    if (!Live(g, nowMs) || !SameAddress(g.from, from)) continue;
    s.peer = from;
    s.nonce = g.nonce;
    std::memcpy(s.peerVersion, g.version, sizeof s.peerVersion);
    s.peerFormat = g.format;
    s.connected = true;
    s.lastHeardMs = nowMs;
    for (NetGreeting& other : s.greetings) other = NetGreeting{};
    return true;
  }
  return false;
}

void TakeJoin(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs) {
  if (s.phase == NetPhase::Hosting || s.phase == NetPhase::Greeting) {
    if (!Greet(s, from, d, nowMs)) Drop(s, NetDrop::Stranger);
    return;
  }
  const bool busy = s.phase == NetPhase::Playing;
  if (busy && SameAddress(from, s.peer) && d.nonce == s.nonce) return;  // a Join repeated, crossing the Play
  if (busy && d.nonce == s.nonce) {
    // The same joiner by its other family: it keeps the address answered.
    Drop(s, NetDrop::Stranger);
    return;
  }
  if (busy) {
    Drop(s, NetDrop::Stranger);
    Refuse(s, from, d.nonce, NetReason::Busy, nowMs);
    return;
  }
  Drop(s, NetDrop::Unexpected);
}

void TakeWelcome(NetSession& s, const NetDatagram& d, uint32_t nowMs) {
  // A repeated answer to a Join repeated: no fault.
  if (s.phase == NetPhase::Playing && d.nonce == s.nonce && d.session == s.session) return;
  if (s.phase != NetPhase::Joining || d.nonce != s.nonce) {
    Drop(s, NetDrop::Unexpected);
    return;
  }
  // One round trip varies with the jitter by more than a frame: the delay is
  // chosen from the mean of a few, each Join sent as the Welcome before it
  // arrives (the host answers each repeated Join with a Welcome).
  const uint32_t rtt = nowMs - d.echo;
  s.rttSumMs += rtt < 60000 ? rtt : 60000;
  s.rttSamples += 1;
  if (s.rttSamples == 1) s.firstWelcomeMs = nowMs;
  if (s.rttSamples < NET_RTT_SAMPLES && nowMs - s.firstWelcomeMs < NET_RTT_SAMPLING_MS) {
    SendJoin(s, nowMs);
    return;
  }
  CopyVersion(s, d);
  s.session = d.session;
  s.rttMs = s.rttHandshakeMs = s.rttSumMs / static_cast<uint32_t>(s.rttSamples);
  // The host's forced delay wins, then ours, then the measured one.
  s.delay = d.delay != 0 ? d.delay : s.options.forcedDelay != 0 ? s.options.forcedDelay : DelayForRoundTrip(s.rttMs);
  s.connected = true;
  s.lastHeardMs = nowMs;
  BeginLockstep(s, nowMs);
  s.phase = NetPhase::Playing;
  // The host starts its frame 0 when our first Play arrives, half a round
  // trip from now: start ours then too.
  s.clockStartMs = nowMs + s.rttMs / 2;
  SendPlay(s, nowMs);
}

void TakeRefuse(NetSession& s, const NetDatagram& d) {
  if (s.phase != NetPhase::Joining || d.nonce != s.nonce) {
    Drop(s, NetDrop::Unexpected);
    return;
  }
  CopyVersion(s, d);
  EndSession(s, d.reason == NetReason::Busy ? NetEnd::Busy : NetEnd::Format, 0);
}

void TakePlayDatagram(NetSession& s, const NetDatagram& d, uint32_t nowMs) {
  if (s.phase == NetPhase::Greeting) {
    // The joiner's first Play: its delay is the match's; frame 0 is now.
    s.delay = d.delay;
    BeginLockstep(s, nowMs);
    s.phase = NetPhase::Playing;
    s.clockStartMs = nowMs;
  } else if (s.phase == NetPhase::Ended) {
    // The peer's last inputs, crossing its goodbye: the frames it ran
    // before leaving still run here. After any other end: not a fault.
    if (s.endReason == NetEnd::Left) TakePlay(s, d, nowMs);
    return;
  } else if (s.phase != NetPhase::Playing) {
    Drop(s, NetDrop::Unexpected);
    return;
  } else if (d.delay != s.delay) {
    Drop(s, NetDrop::Field);
    return;
  }
  if (TakePlay(s, d, nowMs)) s.lastHeardMs = nowMs;
}

void TakeBye(NetSession& s, const NetDatagram& d, uint32_t nowMs) {
  if (!s.connected) {
    Drop(s, NetDrop::Unexpected);
    return;
  }
  if (d.reason == NetReason::Differ) {
    EndSession(s, NetEnd::Differ, d.frame);
    return;
  }
  if (s.byeReceived) return;  // a copy
  s.byeReceived = true;
  s.byeFrame = d.digestFrame;
  s.byeReceivedMs = nowMs;
  TakeFinalDigest(s, d.digestFrame, d.digest);
  EndSession(s, NetEnd::Left, 0);
}

// Another format: the host refuses a Join naming both versions and waits on
// (anybody may send anything to its port); the joiner ends on its host's
// answer, naming both; anything else is dropped.
void TakeOtherFormat(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs) {
  Drop(s, NetDrop::OtherFormat);
  if (d.kind == NetKind::Join && (s.phase == NetPhase::Hosting || s.phase == NetPhase::Greeting)) {
    Refuse(s, from, d.nonce, NetReason::Format, nowMs);
  } else if (d.kind == NetKind::Join && s.phase == NetPhase::Playing) {
    Refuse(s, from, d.nonce, NetReason::Busy, nowMs);
  } else if ((d.kind == NetKind::Refuse || d.kind == NetKind::Welcome) && s.phase == NetPhase::Joining &&
             SameAddress(from, s.peer) && d.nonce == s.nonce) {
    CopyVersion(s, d);
    EndSession(s, NetEnd::Format, 0);
  }
}

}  // namespace

uint8_t DelayForRoundTrip(uint32_t rttMs) {
  const uint32_t frames = (rttMs / 2 + DELAY_MARGIN_MS + FRAME_PERIOD_MS - 1) / FRAME_PERIOD_MS;
  return static_cast<uint8_t>(frames < 1 ? 1 : frames > NET_MAX_DELAY ? NET_MAX_DELAY : frames);
}

NetSession& NetSessionRecord(int32_t i) { return netSessions[i >= 0 && i < NET_SESSIONS ? i : 0]; }
NetSession& netSession = netSessions[0];

void NetAlsoJoin(NetSession& s, const NetAddress& other, uint32_t nowMs) {
  if (s.phase != NetPhase::Joining || SameAddress(other, s.peer)) return;
  s.orElse = other;
  s.orElseOn = true;
  // The first Join went out already: the other address gets its own now.
  if (nowMs - s.joinSentMs < NET_JOIN_RESEND_MS) SendJoinTo(s, other, nowMs);
}

namespace {

struct Reading {
  NetSession* session;
  uint32_t nowMs;
};

void TakeForSession(void* context, const NetAddress& from, const uint8_t* data, size_t size) {
  const Reading& r = *static_cast<Reading*>(context);
  NetReceive(*r.session, from, data, size, r.nowMs);
}

}  // namespace

void NetPoll(NetSession& s, uint32_t nowMs) {
  if (s.socket != NET_NO_SOCKET && !s.callerReads) {
    Reading reading = {&s, nowMs};
    NetTakeRead(s, ReadWaiting(s.socket, NET_POLL_DATAGRAMS, TakeForSession, &reading));
  }
  NetService(s, nowMs);
}

void NetReceive(NetSession& s, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs) {
  s.counters.received += 1;
  NetDatagram d;
  const NetReadResult read = ReadDatagram(data, size, d);
  if (read == NetReadResult::Ok || read == NetReadResult::OtherFormat) TakeFirstAnswer(s, from, d);
  if (read == NetReadResult::OtherFormat) {
    TakeOtherFormat(s, from, d, nowMs);
    return;
  }
  if (read != NetReadResult::Ok) {
    Drop(s, read == NetReadResult::Length  ? NetDrop::Length
            : read == NetReadResult::Magic ? NetDrop::Magic
            : read == NetReadResult::Kind  ? NetDrop::Kind
                                           : NetDrop::Field);
    return;
  }
  if (d.kind == NetKind::Join) {
    TakeJoin(s, from, d, nowMs);
    return;
  }
  // Everything else comes from the peer only, and after the greeting with
  // the session's number: the first greeted joiner's Play makes it the peer.
  if (s.phase == NetPhase::Greeting && d.kind == NetKind::Play && d.session == s.session) TakeGreeted(s, from, nowMs);
  const bool peerKnown = s.connected || s.phase == NetPhase::Joining;
  if (!peerKnown || !SameAddress(from, s.peer)) {
    Drop(s, NetDrop::Stranger);
    return;
  }
  if (d.kind == NetKind::Welcome) {
    TakeWelcome(s, d, nowMs);
  } else if (d.kind == NetKind::Refuse) {
    TakeRefuse(s, d);
  } else if (d.session != s.session || s.phase == NetPhase::Joining) {
    Drop(s, NetDrop::Session);
  } else if (d.kind == NetKind::Play) {
    TakePlayDatagram(s, d, nowMs);
  } else {
    TakeBye(s, d, nowMs);
  }
}

void NetService(NetSession& s, uint32_t nowMs) {
  switch (s.phase) {
    case NetPhase::Hosting:
      if (s.options.waitLimitMs != 0 && nowMs - s.beganMs >= s.options.waitLimitMs) {
        EndSession(s, NetEnd::NoAnswer, 0);
      }
      return;
    case NetPhase::Joining:
      if (nowMs - s.beganMs >= NET_JOIN_WAIT_MS) {
        EndSession(s, NetEnd::NoAnswer, 0);
      } else if (nowMs - s.joinSentMs >= NET_JOIN_RESEND_MS) {
        SendJoin(s, nowMs);
      }
      return;
    case NetPhase::Greeting: {
      // Joins without a Play (stray datagrams, joiners that gave up): the
      // port waits for the real one again.
      bool live = false;
      for (const NetGreeting& g : s.greetings) live = live || Live(g, nowMs);
      if (!live) s.phase = NetPhase::Hosting;
      return;
    }
    case NetPhase::Playing:
      if (nowMs - s.lastHeardMs >= NET_SILENCE_MS) {
        EndSession(s, NetEnd::Silent, 0);
        return;
      }
      // The peer answers but no frame comes (its inputs or ours lost for
      // good): the match is stuck, and no waiting mends it.
      if (s.phase == NetPhase::Playing && static_cast<int32_t>(nowMs - s.lastProgressMs) >= static_cast<int32_t>(NET_STALL_MS)) {
        EndSession(s, NetEnd::Stalled, s.frame);
        return;
      }
      if (s.phase == NetPhase::Playing) {
        const uint32_t quiet = nowMs - s.lastSentMs;
        if ((s.peerAck < s.localNext && quiet >= NET_RESEND_MS) || quiet >= NET_KEEPALIVE_MS) SendPlay(s, nowMs);
      }
      return;
    case NetPhase::Ended:
      // The leaver's last frames: they run if they come soon.
      if (s.endReason == NetEnd::Left && nowMs - s.byeReceivedMs >= NET_TAIL_MS) s.tailOver = true;
      return;
    case NetPhase::Closed:
      return;
  }
}

