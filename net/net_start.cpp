// The session's starts: the record cleared, its secrets drawn from the
// system's generator, the socket opened (or the caller's, or a test's hook).
#include <cstdio>

#include "net/net_link.h"

namespace {

void Begin(NetSession& s, const NetOptions& options, uint32_t nowMs) {
  s = NetSession{};
  s.options = options;
  s.socket = NET_NO_SOCKET;
  s.beganMs = nowMs;
  s.lastSentMs = nowMs;
}

}  // namespace

NetOptions DefaultNetOptions() {
  NetOptions o{};
  o.version = BLOCKTIDE_VERSION_STRING;
  o.format = NET_FORMAT;
  return o;
}

void NetBeginHost(NetSession& s, const NetOptions& options, NetSendHook send, void* context, uint32_t nowMs) {
  Begin(s, options, nowMs);
  s.send = send;
  s.sendContext = context;
  s.host = true;
  s.localPlayer = 0;
  s.phase = NetPhase::Hosting;
  // The session number is what a stranger would have to guess to break in.
  // The secret is the host's half of the key a moved joiner proves itself with.
  uint32_t drawn[4];
  if (!SecureRandom(drawn, sizeof drawn)) {
    EndSession(s, NetEnd::NoRandom, 0);
    return;
  }
  s.session = options.fixedSession != 0 ? options.fixedSession : drawn[0];
  s.random = drawn[1] | 1u;
  s.ownSecret = static_cast<uint64_t>(drawn[2]) | static_cast<uint64_t>(drawn[3]) << 32;
}

void NetBeginJoin(NetSession& s, const NetAddress& host, const NetOptions& options, NetSendHook send,
                  void* context, uint32_t nowMs) {
  Begin(s, options, nowMs);
  s.send = send;
  s.sendContext = context;
  s.host = false;
  s.localPlayer = 1;
  s.peer = host;
  s.phase = NetPhase::Joining;
  s.joinSentMs = nowMs - NET_JOIN_RESEND_MS;  // the first Join goes at the next service
  if (!SecureRandom(&s.nonce, sizeof s.nonce) || !SecureRandom(&s.ownSecret, sizeof s.ownSecret)) {
    EndSession(s, NetEnd::NoRandom, 0);
  }
}

bool NetHost(NetSession& s, uint16_t port, const NetOptions& options, uint32_t nowMs) {
  NetBeginHost(s, options, nullptr, nullptr, nowMs);
  if (s.phase == NetPhase::Ended) return false;
  char error[128];
  s.socket = OpenUdpSocket(port, error, sizeof error);
  if (s.socket != NET_NO_SOCKET) return true;
  EndSession(s, NetEnd::SocketFault, 0);
  std::snprintf(s.endText, sizeof s.endText, "cannot use UDP port %u: %s", port, error);
  return false;
}

bool NetJoin(NetSession& s, const NetAddress& host, const NetOptions& options, uint32_t nowMs) {
  NetBeginJoin(s, host, options, nullptr, nullptr, nowMs);
  if (s.phase == NetPhase::Ended) return false;
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

void NetHostOnSocket(NetSession& s, NetSocket socket, const NetOptions& options, uint32_t nowMs) {
  NetBeginHost(s, options, nullptr, nullptr, nowMs);
  s.socket = socket;
  s.callerReads = true;
}

void NetJoinOnSocket(NetSession& s, NetSocket socket, const NetAddress& host, const NetOptions& options,
                     uint32_t nowMs) {
  NetBeginJoin(s, host, options, nullptr, nullptr, nowMs);
  s.socket = socket;
  s.callerReads = true;
}

void NetSetSendHook(NetSession& s, NetSendHook send, void* context) {
  s.send = send;
  s.sendContext = context;
}

