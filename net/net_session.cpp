// The session's life: hosting, joining, the handshake, every datagram's
// checks against the session, the timers of silence and resending, and the
// ends with their texts.
#include "net/net_session.h"

#include <cstdio>
#include <cstring>

#include "net/net_internal.h"
#include "replay/recording.h"

NetSession netSession;

namespace {

constexpr uint32_t REFUSALS_PER_WINDOW = 10;
constexpr uint32_t REFUSE_WINDOW_MS = 100;
constexpr uint32_t DELAY_MARGIN_MS = 12;

void Drop(NetSession& s, NetDrop why) { s.counters.dropped[static_cast<int>(why)] += 1; }

void FillGreeting(const NetSession& s, NetDatagram& d, NetKind kind) {
  d.kind = kind;
  d.format = s.options.format;
  std::snprintf(d.version, sizeof d.version, "%s", s.options.version);
}

void SendJoin(NetSession& s, uint32_t nowMs) {
  NetDatagram d{};
  FillGreeting(s, d, NetKind::Join);
  d.nonce = s.nonce;
  d.time = nowMs;
  d.delay = s.options.forcedDelay;
  s.joinSentMs = nowMs;
  SendTo(s, s.peer, d, nowMs);
}

void SendWelcome(NetSession& s, uint32_t joinTime, uint32_t nowMs) {
  NetDatagram d{};
  FillGreeting(s, d, NetKind::Welcome);
  d.nonce = s.nonce;
  d.session = s.session;
  d.time = nowMs;
  d.echo = joinTime;
  d.delay = s.options.forcedDelay;
  SendTo(s, s.peer, d, nowMs);
}

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

void TakeJoin(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs) {
  if (s.phase == NetPhase::Hosting) {
    s.peer = from;
    s.nonce = d.nonce;
    CopyVersion(s, d);
    s.phase = NetPhase::Greeting;
    s.connected = true;
    s.lastHeardMs = nowMs;
    SendWelcome(s, d.time, nowMs);
    return;
  }
  const bool busy = s.phase == NetPhase::Greeting || s.phase == NetPhase::Playing;
  if (busy && SameAddress(from, s.peer) && d.nonce == s.nonce) {
    // The joiner repeats its Join until a Welcome arrives: one was lost.
    if (s.phase == NetPhase::Greeting) SendWelcome(s, d.time, nowMs);
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
  BeginLockstep(s);
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
    BeginLockstep(s);
    s.phase = NetPhase::Playing;
    s.clockStartMs = nowMs;
  } else if (s.phase == NetPhase::Ended) {
    return;  // the peer's last inputs, crossing a goodbye: not a fault
  } else if (s.phase != NetPhase::Playing) {
    Drop(s, NetDrop::Unexpected);
    return;
  } else if (d.delay != s.delay) {
    Drop(s, NetDrop::Field);
    return;
  }
  if (TakePlay(s, d, nowMs)) s.lastHeardMs = nowMs;
}

void TakeBye(NetSession& s, const NetDatagram& d) {
  if (!s.connected) {
    Drop(s, NetDrop::Unexpected);
    return;
  }
  if (d.reason == NetReason::Differ) {
    EndSession(s, NetEnd::Differ, d.frame);
    return;
  }
  s.byeReceived = true;
  TakeFinalDigest(s, d.digestFrame, d.digest);
  EndSession(s, NetEnd::Left, 0);
}

// Another format: a Join (host) or the host's answer (joiner) names both
// versions, and both sides end; anything else is dropped.
void TakeOtherFormat(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs) {
  Drop(s, NetDrop::OtherFormat);
  if (d.kind == NetKind::Join && s.phase == NetPhase::Hosting) {
    CopyVersion(s, d);
    Refuse(s, from, d.nonce, NetReason::Format, nowMs);
    EndSession(s, NetEnd::Format, 0);
  } else if (d.kind == NetKind::Join && (s.phase == NetPhase::Greeting || s.phase == NetPhase::Playing)) {
    Refuse(s, from, d.nonce, NetReason::Busy, nowMs);
  } else if ((d.kind == NetKind::Refuse || d.kind == NetKind::Welcome) && s.phase == NetPhase::Joining &&
             SameAddress(from, s.peer) && d.nonce == s.nonce) {
    CopyVersion(s, d);
    EndSession(s, NetEnd::Format, 0);
  }
}

void Begin(NetSession& s, const NetOptions& options, uint32_t nowMs) {
  s = NetSession{};
  s.options = options;
  s.socket = NET_NO_SOCKET;
  s.beganMs = nowMs;
  s.lastSentMs = nowMs;
}

}  // namespace

uint8_t DelayForRoundTrip(uint32_t rttMs) {
  const uint32_t frames = (rttMs / 2 + DELAY_MARGIN_MS + FRAME_PERIOD_MS - 1) / FRAME_PERIOD_MS;
  return static_cast<uint8_t>(frames < 1 ? 1 : frames > NET_MAX_DELAY ? NET_MAX_DELAY : frames);
}

NetOptions DefaultNetOptions() {
  NetOptions o{};
  o.version = BLOCKTIDE_VERSION_STRING;
  o.format = NET_FORMAT;
  return o;
}

void NetBeginHost(NetSession& s, const NetOptions& options, uint32_t nowMs) {
  Begin(s, options, nowMs);
  s.host = true;
  s.localPlayer = 0;
  s.session = SystemRandom32();
  s.random = SystemRandom32() | 1u;
  s.phase = NetPhase::Hosting;
}

void NetBeginJoin(NetSession& s, const NetAddress& host, const NetOptions& options, uint32_t nowMs) {
  Begin(s, options, nowMs);
  s.host = false;
  s.localPlayer = 1;
  s.peer = host;
  s.nonce = SystemRandom32();
  s.phase = NetPhase::Joining;
  s.joinSentMs = nowMs - NET_JOIN_RESEND_MS;  // the first Join goes at the next service
}

bool NetHost(NetSession& s, uint16_t port, const NetOptions& options, uint32_t nowMs) {
  NetBeginHost(s, options, nowMs);
  char error[128];
  s.socket = OpenUdpSocket(port, error, sizeof error);
  if (s.socket != NET_NO_SOCKET) return true;
  EndSession(s, NetEnd::SocketFault, 0);
  std::snprintf(s.endText, sizeof s.endText, "cannot use UDP port %u: %s", port, error);
  return false;
}

bool NetJoin(NetSession& s, const NetAddress& host, const NetOptions& options, uint32_t nowMs) {
  NetBeginJoin(s, host, options, nowMs);
  char error[128];
  s.socket = OpenUdpSocket(0, error, sizeof error);
  if (s.socket == NET_NO_SOCKET) {
    EndSession(s, NetEnd::SocketFault, 0);
    std::snprintf(s.endText, sizeof s.endText, "cannot open a UDP socket: %s", error);
    return false;
  }
  NetService(s, nowMs);
  return true;
}

void NetPoll(NetSession& s, uint32_t nowMs) {
  if (s.socket != NET_NO_SOCKET) {
    // One byte more than the longest datagram: one that fills it is too long.
    uint8_t buffer[NET_MAX_DATAGRAM + 1];
    for (int32_t i = 0; i < NET_POLL_DATAGRAMS; ++i) {
      NetAddress from{};
      const int32_t n = ReceiveDatagram(s.socket, buffer, sizeof buffer, from, &s.counters.receiveFaults);
      if (n < 0) break;
      NetReceive(s, from, buffer, static_cast<size_t>(n), nowMs);
    }
  }
  NetService(s, nowMs);
}

void NetReceive(NetSession& s, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs) {
  s.counters.received += 1;
  NetDatagram d;
  const NetReadResult read = ReadDatagram(data, size, d);
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
  // the session's number.
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
    TakeBye(s, d);
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
    case NetPhase::Playing:
      if (nowMs - s.lastHeardMs >= NET_SILENCE_MS) {
        EndSession(s, NetEnd::Silent, 0);
        return;
      }
      if (s.phase == NetPhase::Playing) {
        const uint32_t quiet = nowMs - s.lastSentMs;
        if ((s.peerAck < s.localNext && quiet >= NET_RESEND_MS) || quiet >= NET_KEEPALIVE_MS) SendPlay(s, nowMs);
      }
      return;
    case NetPhase::Closed:
    case NetPhase::Ended:
      return;
  }
}

void NetSayGoodbye(NetSession& s, uint32_t nowMs) {
  if (s.connected && !s.byeSent) SendBye(s, NetReason::Left, s.frame, s.frame, DigestGameState(), nowMs);
  EndSession(s, NetEnd::LeftHere, 0);
}

void NetLeave(NetSession& s, uint32_t nowMs) {
  NetSayGoodbye(s, nowMs);
  NetClose(s);
}

void NetClose(NetSession& s) {
  if (s.socket != NET_NO_SOCKET) CloseUdpSocket(s.socket);
  s.socket = NET_NO_SOCKET;
  s.phase = NetPhase::Closed;
}

void NetPeerText(const NetSession& s, char* text, size_t size) { FormatAddress(s.peer, false, text, size); }

void SendTo(NetSession& s, const NetAddress& to, NetDatagram& d, uint32_t nowMs) {
  uint8_t bytes[NET_MAX_DATAGRAM];
  const size_t n = WriteDatagram(d, bytes, sizeof bytes);
  if (n == 0) return;
  const bool sent = s.send != nullptr ? s.send(s.sendContext, to, bytes, n)
                    : s.socket != NET_NO_SOCKET ? SendDatagram(s.socket, to, bytes, n)
                                                : false;
  if (sent) {
    s.counters.sent += 1;
  } else {
    s.counters.sendFaults += 1;
  }
  s.lastSentMs = nowMs;
}

void SendBye(NetSession& s, NetReason reason, uint32_t frame, uint32_t digestFrame, uint64_t digest, uint32_t nowMs) {
  NetDatagram d{};
  d.kind = NetKind::Bye;
  d.format = NET_FORMAT;
  d.session = s.session;
  d.reason = reason;
  d.frame = frame;
  d.digestFrame = digestFrame;
  d.digest = digest;
  for (int i = 0; i < 3; ++i) SendTo(s, s.peer, d, nowMs);
  s.byeSent = true;
}

void EndSession(NetSession& s, NetEnd reason, uint32_t frame) {
  // The first end stands, but for differing matches found after a side
  // left: the final digests are compared when both got there.
  const bool ended = s.phase == NetPhase::Ended || s.phase == NetPhase::Closed;
  const bool left = s.endReason == NetEnd::Left || s.endReason == NetEnd::LeftHere;
  if (ended && !(reason == NetEnd::Differ && left)) return;
  if (s.phase != NetPhase::Closed) s.phase = NetPhase::Ended;
  s.endReason = reason;
  s.endFrame = frame;
  char peer[NET_ADDRESS_TEXT];
  FormatAddress(s.peer, true, peer, sizeof peer);
  switch (reason) {
    case NetEnd::None:
      s.endText[0] = '\0';
      break;
    case NetEnd::Left:
      std::snprintf(s.endText, sizeof s.endText, "the other player left the network match");
      break;
    case NetEnd::Silent:
      std::snprintf(s.endText, sizeof s.endText, "the other player's program stopped answering");
      break;
    case NetEnd::Busy:
      std::snprintf(s.endText, sizeof s.endText, "a match is already being played");
      break;
    case NetEnd::Format:
      std::snprintf(s.endText, sizeof s.endText,
                    "the other player's program is BlockTide %s (network format %u); this one is BlockTide %s "
                    "(network format %u)",
                    s.peerVersion, static_cast<unsigned>(s.peerFormat), s.options.version,
                    static_cast<unsigned>(s.options.format));
      break;
    case NetEnd::Differ:
      std::snprintf(s.endText, sizeof s.endText, "the two programs' matches differ at frame %u", frame);
      break;
    case NetEnd::NoAnswer:
      if (s.host) {
        std::snprintf(s.endText, sizeof s.endText, "no player joined within %u s", s.options.waitLimitMs / 1000);
      } else {
        std::snprintf(s.endText, sizeof s.endText, "no answer from %s within %u s", peer, NET_JOIN_WAIT_MS / 1000);
      }
      break;
    case NetEnd::SocketFault:
      std::snprintf(s.endText, sizeof s.endText, "the network socket failed");
      break;
    case NetEnd::LeftHere:
      std::snprintf(s.endText, sizeof s.endText, "this program left the network match");
      break;
  }
}
