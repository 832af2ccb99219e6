// The hole punching: probes with the room's token and a nonce of each
// target's own, their answers, and the path handed to the session (in the
// relay's envelope when relayed).
#include <cstring>

#include "lobby/lobby_client_state.h"

namespace {

void Probe(LobbyClient& c, const NetAddress& to, uint64_t nonce, uint8_t answer) {
  LobbyDatagram d{};
  d.kind = LobbyKind::Probe;
  d.token = c.token;
  d.nonce = nonce;
  d.role = c.host ? 0 : 1;
  d.answer = answer;
  LobbySendTo(c, to, d);
  if (answer == 0) ++c.probesSent;
}

bool IsLoopback(const NetAddress& a) {
  if (IsIpv4(a)) return Ipv4Of(a) >> 24 == 127;
  for (int i = 0; i < 15; ++i)
    if (a.bytes[i] != 0) return false;
  return a.bytes[15] == 1;
}

// An address worth a probe: one machine's (no broadcast, multicast or
// reserved block), and loopback only while the lobby is on this machine too
// (a lobby afar that names loopback lies). IPv6 link-local ones lack their
// scope on the wire, so they are left out.
bool Probeable(const LobbyClient& c, const NetAddress& a) {
  if (IsUnspecified(a) || a.port == 0) return false;
  if (IsIpv4(a)) {
    const uint32_t ip = Ipv4Of(a);
    if (ip >> 24 == 0 || ip >> 28 >= 0xE) return false;  // 0/8, multicast, reserved and broadcast
  } else if (a.bytes[0] == 0xFF || (a.bytes[0] == 0xFE && (a.bytes[1] & 0xC0) == 0x80)) {
    return false;
  }
  return !IsLoopback(a) || IsLoopback(c.lobby);
}

}  // namespace

void LobbyAddTarget(LobbyClient& c, const NetAddress& a, uint32_t nowMs) {
  if (!Probeable(c, a) || c.targetCount >= LOBBY_TARGETS || LobbyAmong(c.targets, c.targetCount, a)) return;
  const int32_t i = c.targetCount;
  if (!SecureRandom(&c.nonces[i], sizeof c.nonces[i]) || c.nonces[i] == 0) return;
  c.targets[i] = a;
  c.probes[i] = 0;
  c.probeDueMs[i] = nowMs;
  ++c.targetCount;
}

// The probes due: each target's first at once, then after 50, 100, 200 ms
// and so on, LOBBY_PROBES_PER_TARGET in all, until one is answered.
void LobbyProbeTargets(LobbyClient& c, uint32_t nowMs) {
  if (c.probeAnswered || nowMs - c.peersMs >= LOBBY_PUNCH_MS) return;
  for (int32_t i = 0; i < c.targetCount; ++i) {
    if (c.probes[i] >= LOBBY_PROBES_PER_TARGET || static_cast<int32_t>(nowMs - c.probeDueMs[i]) < 0) continue;
    Probe(c, c.targets[i], c.nonces[i], 0);
    c.probeDueMs[i] = nowMs + (LOBBY_PROBE_MS << c.probes[i]);
    ++c.probes[i];
  }
}

// The lobby's envelope around the session's datagrams on a relayed path.
namespace {

bool RelaySend(void* context, const NetAddress& to, const uint8_t* data, size_t size) {
  LobbyClient& c = *static_cast<LobbyClient*>(context);
  LobbyDatagram d{};
  d.kind = LobbyKind::Relayed;
  d.token = c.token;
  d.payload = data;
  d.payloadSize = size;
  uint8_t out[LOBBY_MAX_RELAYED];
  const size_t n = WriteLobbyDatagram(d, out, sizeof out);
  return n != 0 && LobbySendBytes(c, to, out, n);
}

}  // namespace

// The path is found: the session begins over it on the client's socket.
void LobbyBeginSession(LobbyClient& c, const NetAddress& peer, uint32_t nowMs) {
  c.path = LobbyIndex(c, peer) >= 0 ? LobbyPath::Relayed : LobbyPath::Direct;
  c.pathAddress = peer;
  c.pathMs = nowMs;
  c.phase = LobbyClientPhase::Session;
  NetOptions options = c.options;
  options.waitLimitMs = 0;  // the client waited; the Join is at hand
  if (c.host) {
    if (c.send != nullptr) NetBeginHost(*c.session, options, c.send, c.sendContext, nowMs);
    else NetHostOnSocket(*c.session, c.socket, options, nowMs);
  } else if (c.send != nullptr) {
    NetBeginJoin(*c.session, peer, options, c.send, c.sendContext, nowMs);
  } else {
    NetJoinOnSocket(*c.session, c.socket, peer, options, nowMs);
  }
  // A peer that moves proves itself under the room's token too.
  NetSetPathToken(*c.session, c.token);
  if (c.path == LobbyPath::Relayed) NetUseRelay(*c.session, peer, RelaySend, &c);
  if (!c.host) NetService(*c.session, nowMs);  // the first Join, at once
  // The lobby learns that this room needs no relay (its event line); a
  // joiner's refresh tells the relay this side's address as it sees it (a
  // lobby process other than the one joined at, whose NAT mapping differs).
  if (c.host && c.path == LobbyPath::Direct) LobbyRefresh(c, 1, nowMs);
  if (!c.host && c.path == LobbyPath::Relayed && c.relayElsewhere) LobbyRefresh(c, 2, nowMs);
  LobbyEvent(c, LobbyClientEvent::Path);
}

namespace {

// The direct path fell silent (or the other side's datagrams come relayed):
// the same room's relay from now on, the lobby told where this side is now.
void FallBack(LobbyClient& c, uint32_t nowMs) {
  c.fellBack = true;
  c.fallbackSilenceMs = NetSilentMs(*c.session, nowMs);
  c.path = LobbyPath::Relayed;
  c.pathAddress = c.lobby;
  NetUseRelay(*c.session, c.lobby, RelaySend, &c);
  LobbyRefresh(c, 2, nowMs);
}

}  // namespace

void LobbyServeSession(LobbyClient& c, uint32_t nowMs) {
  if (!NetPlaying(*c.session)) return;
  if (c.path == LobbyPath::Direct && NetSilentMs(*c.session, nowMs) >= LOBBY_FALLBACK_MS) FallBack(c, nowMs);
  if (nowMs - c.refreshedMs >= LOBBY_MATCH_REFRESH_MS) LobbyRefresh(c, c.path == LobbyPath::Relayed ? 2 : 1, nowMs);
}

void LobbyStartPunching(LobbyClient& c, uint32_t nowMs) {
  c.peersMs = nowMs;
  c.phase = LobbyClientPhase::Punching;
}

// A probe from the other side (it carries the room's token) proves that path
// inbound; its answer, from the address probed with that probe's nonce,
// proves it both ways.
void LobbyTakeProbe(LobbyClient& c, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  const bool fromPeer = d.role == (c.host ? 1 : 0) && c.token != 0 && d.token == c.token;
  const bool listening = c.phase == LobbyClientPhase::Punching || c.phase == LobbyClientPhase::Session ||
                         (c.host && c.phase == LobbyClientPhase::Waiting);
  if (!fromPeer || !listening) {
    ++c.dropped;
    return;
  }
  if (d.answer == 1) {
    int32_t i = 0;
    while (i < c.targetCount && !(SameAddress(c.targets[i], from) && c.nonces[i] == d.nonce)) ++i;
    if (i == c.targetCount) {
      ++c.dropped;  // an answer to no probe of ours, or from elsewhere
      return;
    }
    ++c.probesAnswered;
    c.probeAnswered = true;
    if (!c.host && c.phase == LobbyClientPhase::Punching) LobbyBeginSession(c, from, nowMs);
    return;
  }
  // Answers are bounded per address, and to at most LOBBY_TARGETS of them.
  if (!LobbyAmong(c.heard, c.heardCount, from)) {
    if (c.heardCount >= LOBBY_TARGETS) {
      ++c.dropped;
      return;
    }
    c.answers[c.heardCount] = 0;
    c.heard[c.heardCount++] = from;
  }
  int32_t h = 0;
  while (!SameAddress(c.heard[h], from)) ++h;
  if (c.answers[h] >= LOBBY_ANSWERS_PER_ADDRESS) {
    ++c.dropped;
    return;
  }
  ++c.answers[h];
  if (c.host && c.phase == LobbyClientPhase::Waiting) LobbyStartPunching(c, nowMs);  // the lobby's Peers was lost
  Probe(c, from, d.nonce, 1);
  // Behind a NAT that picks a port per destination the probe's source is
  // not the address the lobby saw: it is the one to probe.
  if (c.phase == LobbyClientPhase::Punching) LobbyAddTarget(c, from, nowMs);
}

// A game datagram in the relay's envelope: from the lobby, with the room's
// token. The host's first one (the Join) begins its session over the relay,
// also before the lobby's Peers came.
void LobbyTakeRelayed(LobbyClient& c, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  const bool inRoom = c.token != 0 && d.token == c.token && LobbyIndex(c, from) >= 0;
  if (!inRoom || !IsNetDatagram(d.payload, d.payloadSize)) {
    ++c.dropped;
    return;
  }
  const bool waiting = c.phase == LobbyClientPhase::Punching || c.phase == LobbyClientPhase::Waiting;
  if (c.host && waiting) LobbyBeginSession(c, from, nowMs);
  // The other side fell back to the relay first: this side follows.
  if (c.phase == LobbyClientPhase::Session && c.path == LobbyPath::Direct && NetPlaying(*c.session)) {
    FallBack(c, nowMs);
  }
  if (c.phase == LobbyClientPhase::Session && c.path == LobbyPath::Relayed && SameAddress(from, c.pathAddress)) {
    NetReceive(*c.session, from, d.payload, d.payloadSize, nowMs);
    return;
  }
  ++c.dropped;
}

