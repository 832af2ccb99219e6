// The session's edge: sending, socket faults, and the ends with their texts.
#include "net/net_link.h"

#include <cstdio>

void Drop(NetSession& s, NetDrop why) { s.counters.dropped[static_cast<int>(why)] += 1; }

void SendTo(NetSession& s, const NetAddress& to, NetDatagram& d, uint32_t nowMs) {
  uint8_t bytes[NET_MAX_DATAGRAM];
  const size_t n = WriteDatagram(d, bytes, sizeof bytes);
  if (n == 0) return;
  const bool sent = s.send != nullptr ? s.send(s.sendContext, to, bytes, n)
                    : s.socket != NET_NO_SOCKET ? SendDatagram(s.socket, to, bytes, n)
                                                : false;
  s.lastSentMs = nowMs;
  if (sent) {
    s.counters.sent += 1;
    s.sendFaultRun = 0;
    return;
  }
  s.counters.sendFaults += 1;
  // One refused send is a passing fault (a full buffer); a run of them is a
  // socket that no longer works, said as such rather than as silence 5 s later.
  s.sendFaultRun += 1;
  if (s.sendFaultRun >= NET_FAULT_RUN && s.phase != NetPhase::Ended && s.phase != NetPhase::Closed) {
    EndSession(s, NetEnd::SocketFault, 0);
    std::snprintf(s.endText, sizeof s.endText, "this computer's network refused to send %d datagrams in a row",
                  NET_FAULT_RUN);
  }
}

void NetTakeRead(NetSession& s, const NetRead& read) {
  s.counters.receiveFaults += read.faults;
  const bool faulted = read.faults != 0 && read.read == 0;
  s.receiveFaultRun = faulted ? s.receiveFaultRun + 1 : 0;
  if (s.receiveFaultRun >= NET_FAULT_RUN && s.phase != NetPhase::Ended && s.phase != NetPhase::Closed) {
    EndSession(s, NetEnd::SocketFault, 0);
    std::snprintf(s.endText, sizeof s.endText, "this computer's network socket failed %d times in a row",
                  NET_FAULT_RUN);
  }
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
  s.byeSentMs = nowMs;
}

void EndSession(NetSession& s, NetEnd reason, uint32_t frame) {
  // The first end stands, but for what is learnt of the frames after a
  // side left: the final digests differ, or never came to be compared.
  const bool ended = s.phase == NetPhase::Ended || s.phase == NetPhase::Closed;
  const bool left = s.endReason == NetEnd::Left || s.endReason == NetEnd::LeftHere;
  const bool overrides = reason == NetEnd::Differ || reason == NetEnd::Unconfirmed;
  if (ended && !(overrides && left)) return;
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
      } else if (s.orElseOn) {
        char other[NET_ADDRESS_TEXT];
        FormatAddress(s.orElse, true, other, sizeof other);
        std::snprintf(s.endText, sizeof s.endText, "no answer from %s nor %s within %u s", peer, other,
                      NET_JOIN_WAIT_MS / 1000);
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
    case NetEnd::Stalled:
      std::snprintf(s.endText, sizeof s.endText,
                    "the network match stopped at frame %u: the other player's inputs no longer came", frame);
      break;
    case NetEnd::NoRandom:
      std::snprintf(s.endText, sizeof s.endText, "this computer's secure random generator failed");
      break;
    case NetEnd::Unconfirmed:
      std::snprintf(s.endText, sizeof s.endText,
                    "the other player's program did not confirm the match's end: its frames after %u were not "
                    "compared", frame);
      break;
  }
}

bool NetPlaying(const NetSession& s) {
  if (s.phase == NetPhase::Playing) return true;
  return s.phase == NetPhase::Ended && s.endReason == NetEnd::Left && !s.tailOver && s.frame < s.byeFrame;
}

