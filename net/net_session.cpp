// The peer protocol: the host's greetings (every joiner welcomed, the first
// to Play taken), joining, the handshake, every datagram's checks against
// the session and its route, the timers of silence, stalls and resending.
// The starts are net_start.cpp's, the ends' texts net_link.cpp's.
#include <cstdio>
#include <cstring>

#include "net/net_digest.h"
#include "net/net_greeting.h"
#include "net/net_link.h"
#include "net/net_lockstep.h"
#include "net/net_path.h"
#include "replay/recording.h"

namespace {

NetSession netSessions[NET_SESSIONS];

constexpr uint32_t DELAY_MARGIN_MS = 12;


void SendJoinTo(NetSession& s, const NetAddress& to, uint32_t nowMs) {
  NetDatagram d{};
  FillGreeting(s, d, NetKind::Join);
  d.nonce = s.nonce;
  d.secret = s.ownSecret;
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
  SetPathKey(s, d.secret, s.ownSecret);
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
  if (!TakePlay(s, d, nowMs)) return;
  // Heard again after a wait: the frames go on where they stood, at their
  // pace from now (not half a second of late frames at once), the stall
  // counted from now, the time to the next frame measured.
  if (s.played && nowMs - s.lastHeardMs >= NET_WAIT_SHOWN_MS) {
    s.lastSilenceMs = nowMs - s.lastHeardMs;
    s.resumeHeardMs = nowMs + 1;
    s.lastProgressMs = nowMs;
    s.clockStartMs = nowMs - s.frame * FRAME_PERIOD_MS;
  }
  s.lastHeardMs = nowMs;
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
  if (peerKnown && !SameAddress(from, s.peer) && d.session == s.session && s.connected) {
    // The peer from a new address (a NAT's new port, another network), or
    // a stranger who knows the number: only a Proof moves the session.
    if (d.kind == NetKind::Proof) TakeProof(s, from, d);
    else if (d.kind == NetKind::Play || d.kind == NetKind::Bye) CheckNewAddress(s, from, nowMs);
    else Drop(s, NetDrop::Stranger);
    return;
  }
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
  } else if (d.kind == NetKind::Check) {
    TakeCheck(s, from, d, nowMs);
  } else if (d.kind == NetKind::Proof) {
    Drop(s, NetDrop::Unproven);  // the peer's own address needs no proof
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
    case NetPhase::Greeting:
      ServeGreetings(s, nowMs);
      return;
    case NetPhase::Playing: {
      // A silent peer: the frames wait for its inputs (the title counts
      // down), ours go on being sent, and only a long silence ends it.
      const uint32_t silent = nowMs - s.lastHeardMs;
      if (silent >= NET_SILENCE_MS) {
        EndSession(s, NetEnd::Silent, 0);
        return;
      }
      // The peer answers but no frame comes (its inputs or ours lost for
      // good): the match is stuck, and no waiting mends it.
      const bool stalled = static_cast<int32_t>(nowMs - s.lastProgressMs) >= static_cast<int32_t>(NET_STALL_MS);
      if (silent < NET_WAIT_SHOWN_MS && stalled) {
        EndSession(s, NetEnd::Stalled, s.frame);
        return;
      }
      if (s.phase == NetPhase::Playing) {
        const uint32_t quiet = nowMs - s.lastSentMs;
        if ((s.peerAck < s.localNext && quiet >= NET_RESEND_MS) || quiet >= NET_KEEPALIVE_MS) SendPlay(s, nowMs);
      }
      return;
    }
    case NetPhase::Ended:
      // The leaver's last frames: they run if they come soon.
      if (s.endReason == NetEnd::Left && nowMs - s.byeReceivedMs >= NET_TAIL_MS) s.tailOver = true;
      return;
    case NetPhase::Closed:
      return;
  }
}

