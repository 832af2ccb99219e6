// The invite client: the lobby's requests, the hole punching and the hand-over
// of the path to the network session.
#include "lobby/lobby_client.h"

#include <cstdio>

#include "lobby/lobby_service.h"

LobbyClient lobbyClient;
LobbyClient lobbyClientB;

namespace {

// A host whose lobby stops answering its refreshes says so after this.
constexpr uint32_t LOBBY_SILENT_MS = 3 * LOBBY_REFRESH_S * 1000 + LOBBY_ANSWER_MS;
// A host that heard of a joiner but got no Join from it gives up after this:
// the joiner's relay Join comes after its punching, and it waits for the
// answer as long as any joiner does.
constexpr uint32_t LOBBY_UNREACHED_MS = LOBBY_PUNCH_MS + NET_JOIN_WAIT_MS;
static_assert(LOBBY_RELAY_HEADER <= NET_FOREIGN_ROOM, "the session reads a relayed datagram whole");

bool SendBytes(LobbyClient& c, const NetAddress& to, const uint8_t* data, size_t size) {
  if (c.send != nullptr) return c.send(c.sendContext, to, data, size);
  return c.socket != NET_NO_SOCKET && SendDatagram(c.socket, to, data, size);
}

// False when the system refused it at once (no route to that family).
bool Send(LobbyClient& c, const NetAddress& to, const LobbyDatagram& d) {
  uint8_t out[LOBBY_MAX_DATAGRAM];
  const size_t n = WriteLobbyDatagram(d, out, sizeof out);
  return n != 0 && SendBytes(c, to, out, n);
}

void Event(LobbyClient& c, LobbyClientEvent e) {
  if (c.eventCount < static_cast<int32_t>(sizeof c.events / sizeof c.events[0])) c.events[c.eventCount++] = e;
}

void Fail(LobbyClient& c, LobbyFailure why) {
  char code[LOBBY_CODE_TEXT];
  FormatLobbyCode(c.code, code);
  char lobby[NET_ADDRESS_TEXT];
  FormatAddress(c.lobby, true, lobby, sizeof lobby);
  switch (why) {
    case LobbyFailure::NoLobby:
      std::snprintf(c.text, sizeof c.text, "the lobby at %s does not answer", lobby);
      break;
    case LobbyFailure::UnknownCode:
      std::snprintf(c.text, sizeof c.text, "the lobby knows no invite code %s", code);
      break;
    case LobbyFailure::Expired:
      std::snprintf(c.text, sizeof c.text, "the invite code %s has expired", code);
      break;
    case LobbyFailure::RateLimited:
      std::snprintf(c.text, sizeof c.text, "the lobby refused: too many requests from this computer");
      break;
    case LobbyFailure::SocketFault:
      std::snprintf(c.text, sizeof c.text, "cannot open a UDP socket");
      break;
    case LobbyFailure::NobodyCame:
      std::snprintf(c.text, sizeof c.text, "nobody joined with the invite code %s", code);
      break;
    case LobbyFailure::Unreached:
      std::snprintf(c.text, sizeof c.text, "the player who joined with the invite code %s never reached this computer",
                    code);
      break;
    case LobbyFailure::Full:
      std::snprintf(c.text, sizeof c.text, "the lobby is full");
      break;
    case LobbyFailure::NoRandom:
      std::snprintf(c.text, sizeof c.text, "this computer's secure random generator failed");
      break;
    case LobbyFailure::None:
      break;
  }
  c.failure = why;
  c.phase = LobbyClientPhase::Failed;
  if (c.socket != NET_NO_SOCKET && c.send == nullptr) CloseUdpSocket(c.socket);
  c.socket = NET_NO_SOCKET;
  Event(c, LobbyClientEvent::Failed);
}

// The request to the lobby's address `i`, with this side's own addresses
// of both families.
void Ask(LobbyClient& c, int32_t i, uint32_t nowMs) {
  LobbyDatagram d{};
  d.kind = c.host ? LobbyKind::Register : LobbyKind::Join;
  d.cookie = c.cookies[i];
  d.code = c.host ? 0 : c.code;
  d.ticket = c.ticket;
  for (int32_t k = 0; k < c.lobbyCount; ++k) d.privates[k] = c.privates[k];
  c.refused[i] = !Send(c, c.lobbies[i], d);
  c.asked[i] = true;
  c.askedAt[i] = nowMs;
}

// Requests repeated: the first address until it answers, the second after
// a while, or once the first answered or could not be sent to, each until
// it answers or the answer time is over.
void AskAgain(LobbyClient& c, uint32_t nowMs) {
  for (int32_t i = 0; i < c.lobbyCount; ++i) {
    const bool due = i == 0 || c.answered[0] || c.refused[0] || nowMs - c.beganMs >= LOBBY_SECOND_FAMILY_MS;
    if (!c.answered[i] && due && nowMs - c.beganMs < LOBBY_ANSWER_MS &&
        (!c.asked[i] || nowMs - c.askedAt[i] >= LOBBY_ASK_RESEND_MS)) {
      Ask(c, i, nowMs);
    }
  }
}

int32_t LobbyIndex(const LobbyClient& c, const NetAddress& from) {
  for (int32_t i = 0; i < c.lobbyCount; ++i)
    if (SameAddress(from, c.lobbies[i])) return i;
  return -1;
}

// The host's refresh, over every family the lobby answered on: each keeps
// its NAT mapping or firewall entry towards the lobby alive.
void Refresh(LobbyClient& c, uint8_t path, uint32_t nowMs) {
  LobbyDatagram d{};
  d.kind = LobbyKind::Refresh;
  d.code = c.code;
  d.ticket = c.ticket;
  d.path = path;
  for (int32_t i = 0; i < c.lobbyCount; ++i)
    if (c.answered[i] && (path == 0 || SameAddress(c.lobbies[i], c.lobby))) Send(c, c.lobbies[i], d);
  c.refreshedMs = nowMs;
}

void Probe(LobbyClient& c, const NetAddress& to, uint64_t nonce, uint8_t answer) {
  LobbyDatagram d{};
  d.kind = LobbyKind::Probe;
  d.token = c.token;
  d.nonce = nonce;
  d.role = c.host ? 0 : 1;
  d.answer = answer;
  Send(c, to, d);
  if (answer == 0) ++c.probesSent;
}

bool Among(const NetAddress* list, int32_t count, const NetAddress& a) {
  for (int32_t i = 0; i < count; ++i)
    if (SameAddress(list[i], a)) return true;
  return false;
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

void AddTarget(LobbyClient& c, const NetAddress& a, uint32_t nowMs) {
  if (!Probeable(c, a) || c.targetCount >= LOBBY_TARGETS || Among(c.targets, c.targetCount, a)) return;
  const int32_t i = c.targetCount;
  if (!SecureRandom(&c.nonces[i], sizeof c.nonces[i]) || c.nonces[i] == 0) return;
  c.targets[i] = a;
  c.probes[i] = 0;
  c.probeDueMs[i] = nowMs;
  ++c.targetCount;
}

// The probes due: each target's first at once, then after 50, 100, 200 ms
// and so on, LOBBY_PROBES_PER_TARGET in all, until one is answered.
void ProbeTargets(LobbyClient& c, uint32_t nowMs) {
  if (c.probeAnswered || nowMs - c.peersMs >= LOBBY_PUNCH_MS) return;
  for (int32_t i = 0; i < c.targetCount; ++i) {
    if (c.probes[i] >= LOBBY_PROBES_PER_TARGET || static_cast<int32_t>(nowMs - c.probeDueMs[i]) < 0) continue;
    Probe(c, c.targets[i], c.nonces[i], 0);
    c.probeDueMs[i] = nowMs + (LOBBY_PROBE_MS << c.probes[i]);
    ++c.probes[i];
  }
}

// The lobby's envelope around the session's datagrams on a relayed path.
bool RelaySend(void* context, const NetAddress& to, const uint8_t* data, size_t size) {
  LobbyClient& c = *static_cast<LobbyClient*>(context);
  LobbyDatagram d{};
  d.kind = LobbyKind::Relayed;
  d.token = c.token;
  d.payload = data;
  d.payloadSize = size;
  uint8_t out[LOBBY_MAX_RELAYED];
  const size_t n = WriteLobbyDatagram(d, out, sizeof out);
  return n != 0 && SendBytes(c, to, out, n);
}

void ClientHook(void* context, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs) {
  LobbyClientReceive(*static_cast<LobbyClient*>(context), from, data, size, nowMs);
}

// The path is found: the session begins over it on the client's socket.
void BeginSession(LobbyClient& c, const NetAddress& peer, uint32_t nowMs) {
  c.path = LobbyIndex(c, peer) >= 0 ? LobbyPath::Relayed : LobbyPath::Direct;
  c.pathAddress = peer;
  c.pathMs = nowMs;
  c.phase = LobbyClientPhase::Session;
  NetOptions options = c.options;
  options.waitLimitMs = 0;  // the client waited; the Join is at hand
  const bool relayed = c.path == LobbyPath::Relayed;
  NetSendHook send = relayed ? RelaySend : c.send;
  void* context = relayed ? static_cast<void*>(&c) : c.sendContext;
  if (c.host) {
    if (c.send != nullptr) NetBeginHost(*c.session, options, send, context, nowMs);
    else NetHostOnSocket(*c.session, c.socket, options, nowMs);
  } else if (c.send != nullptr) {
    NetBeginJoin(*c.session, peer, options, send, context, nowMs);
  } else {
    NetJoinOnSocket(*c.session, c.socket, peer, options, nowMs);
  }
  if (c.send == nullptr && relayed) NetSetSendHook(*c.session, RelaySend, &c);
  NetSetForeignHook(*c.session, ClientHook, &c);
  if (!c.host) NetService(*c.session, nowMs);  // the first Join, at once
  // The lobby learns that this room needs no relay (its event line).
  if (c.host && c.path == LobbyPath::Direct) Refresh(c, 1, nowMs);
  Event(c, LobbyClientEvent::Path);
}

void StartPunching(LobbyClient& c, uint32_t nowMs) {
  c.peersMs = nowMs;
  c.phase = LobbyClientPhase::Punching;
}

void TakePeers(LobbyClient& c, const LobbyDatagram& d, uint32_t nowMs) {
  if (d.role != (c.host ? 0 : 1) || d.code != c.code) return;
  if (c.token != 0 && d.token != c.token) return;  // not this room's
  c.token = d.token;
  const bool first = c.phase != LobbyClientPhase::Punching;
  if (first) StartPunching(c, nowMs);
  c.peerPublic = d.publics[0];
  for (int32_t i = 0; i < LOBBY_FAMILIES; ++i) {
    AddTarget(c, d.publics[i], nowMs);
    AddTarget(c, d.privates[i], nowMs);
  }
  if (first) LobbyClientService(c, nowMs);
}

// The lobby gave this host's waiting room up for another's: a new one, with
// a new code, is asked for at once.
void AskAnew(LobbyClient& c, uint32_t nowMs) {
  c.phase = LobbyClientPhase::Asking;
  c.haveCode = false;
  c.token = 0;
  c.beganMs = c.answeredMs = nowMs;
  for (int32_t i = 0; i < LOBBY_FAMILIES; ++i) c.asked[i] = c.answered[i] = c.refused[i] = false;
  Ask(c, 0, nowMs);
  AskAgain(c, nowMs);
}

void TakeFromLobby(LobbyClient& c, int32_t at, const LobbyDatagram& d, uint32_t nowMs) {
  // Only a reply to this client's own request counts: a stranger who forges
  // the lobby's address does not know the ticket.
  if (d.ticket != c.ticket) {
    ++c.dropped;
    return;
  }
  c.answeredMs = nowMs;
  const bool first = c.phase == LobbyClientPhase::Asking;
  switch (d.kind) {
    case LobbyKind::Challenge:
      if (c.answered[at] || c.phase == LobbyClientPhase::Session) return;
      c.cookies[at] = d.cookie;
      Ask(c, at, nowMs);
      return;
    case LobbyKind::CodeGiven:
      if (!c.host) return;
      c.answered[at] = true;
      if (!first) return;  // the second family's: the same room
      c.lobby = c.lobbies[at];
      c.code = d.code;
      c.haveCode = true;
      c.token = d.token;
      ++c.codesGiven;
      c.refreshS = d.refreshS;
      c.codeMs = c.refreshedMs = nowMs;
      c.phase = LobbyClientPhase::Waiting;
      Event(c, LobbyClientEvent::CodeGiven);
      return;
    case LobbyKind::Peers:
      if (!c.host) c.answered[at] = true;
      if (!c.host && first) c.lobby = c.lobbies[at];
      if ((c.host && c.phase == LobbyClientPhase::Waiting) || (!c.host && first) ||
          c.phase == LobbyClientPhase::Punching) {
        TakePeers(c, d, nowMs);
      }
      return;
    case LobbyKind::Error:
      c.answered[at] = true;
      // Once one address answered, the other's refusal does not count.
      if (!SameAddress(c.lobbies[at], c.lobby) && !first) return;
      if (c.phase != LobbyClientPhase::Asking && c.phase != LobbyClientPhase::Waiting) return;
      if (d.reason != LobbyError::RateLimited && d.reason != LobbyError::Full && d.code != c.code) return;
      if (d.reason == LobbyError::Dropped && c.host && c.phase == LobbyClientPhase::Waiting) AskAnew(c, nowMs);
      else if (d.reason == LobbyError::Dropped) return;
      else if (d.reason == LobbyError::RateLimited) Fail(c, LobbyFailure::RateLimited);
      else if (d.reason == LobbyError::Full) Fail(c, LobbyFailure::Full);
      else if (d.reason == LobbyError::Expired) Fail(c, LobbyFailure::Expired);
      // A refresh the lobby no longer knows: the code's life is over.
      else if (c.host) Fail(c, LobbyFailure::Expired);
      else Fail(c, LobbyFailure::UnknownCode);
      return;
    default:
      ++c.dropped;
      return;
  }
}

// A probe from the other side (it carries the room's token) proves that path
// inbound; its answer, from the address probed with that probe's nonce,
// proves it both ways.
void TakeProbe(LobbyClient& c, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
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
    if (!c.host && c.phase == LobbyClientPhase::Punching) BeginSession(c, from, nowMs);
    return;
  }
  // Answers are bounded per address, and to at most LOBBY_TARGETS of them.
  if (!Among(c.heard, c.heardCount, from)) {
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
  if (c.host && c.phase == LobbyClientPhase::Waiting) StartPunching(c, nowMs);  // the lobby's Peers was lost
  Probe(c, from, d.nonce, 1);
  // Behind a NAT that picks a port per destination the probe's source is
  // not the address the lobby saw: it is the one to probe.
  if (c.phase == LobbyClientPhase::Punching) AddTarget(c, from, nowMs);
}

// A game datagram in the relay's envelope: from the lobby, with the room's
// token. The host's first one (the Join) begins its session over the relay,
// also before the lobby's Peers came.
void TakeRelayed(LobbyClient& c, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  const bool inRoom = c.token != 0 && d.token == c.token && LobbyIndex(c, from) >= 0;
  if (!inRoom || !IsNetDatagram(d.payload, d.payloadSize)) {
    ++c.dropped;
    return;
  }
  const bool waiting = c.phase == LobbyClientPhase::Punching || c.phase == LobbyClientPhase::Waiting;
  if (c.host && waiting) BeginSession(c, from, nowMs);
  if (c.phase == LobbyClientPhase::Session && c.path == LobbyPath::Relayed && SameAddress(from, c.pathAddress)) {
    NetReceive(*c.session, from, d.payload, d.payloadSize, nowMs);
    return;
  }
  ++c.dropped;
}

void Begin(LobbyClient& c, bool host, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
           const NetOptions& options, uint32_t nowMs) {
  c = LobbyClient{};
  c.host = host;
  c.session = &session;
  c.options = options;
  c.waitLimitMs = options.waitLimitMs;
  c.lobbyCount = lobbyCount < 1 ? 1 : lobbyCount > LOBBY_FAMILIES ? LOBBY_FAMILIES : lobbyCount;
  for (int32_t i = 0; i < c.lobbyCount; ++i) c.lobbies[i] = lobbies[i];
  c.lobby = c.lobbies[0];
  c.beganMs = c.answeredMs = nowMs;
  c.phase = LobbyClientPhase::Asking;
  if (!SecureRandom(&c.ticket, sizeof c.ticket) || c.ticket == 0) Fail(c, LobbyFailure::NoRandom);
}

bool OpenSocket(LobbyClient& c, uint32_t nowMs) {
  if (c.phase == LobbyClientPhase::Failed) return false;
  char error[128];
  c.socket = OpenUdpSocket(0, error, sizeof error);
  if (c.socket == NET_NO_SOCKET) {
    Fail(c, LobbyFailure::SocketFault);
    std::snprintf(c.text, sizeof c.text, "cannot open a UDP socket: %s", error);
    return false;
  }
  for (int32_t i = 0; i < c.lobbyCount; ++i) LocalAddressToward(c.socket, c.lobbies[i], c.privates[i]);
  Ask(c, 0, nowMs);
  AskAgain(c, nowMs);  // at once when the first family has no route
  return true;
}

void UseHook(LobbyClient& c, const NetAddress* privates, NetSendHook send, void* context, uint32_t nowMs) {
  c.send = send;
  c.sendContext = context;
  for (int32_t i = 0; i < c.lobbyCount; ++i) c.privates[i] = privates[i];
  if (c.phase != LobbyClientPhase::Failed) Ask(c, 0, nowMs);
}

}  // namespace

bool LobbyHostInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                     const NetOptions& options, uint32_t nowMs) {
  Begin(c, true, session, lobbies, lobbyCount, options, nowMs);
  return OpenSocket(c, nowMs);
}

bool LobbyJoinInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                     uint64_t code, const NetOptions& options, uint32_t nowMs) {
  Begin(c, false, session, lobbies, lobbyCount, options, nowMs);
  c.code = code;
  c.haveCode = true;
  return OpenSocket(c, nowMs);
}

void LobbyBeginHostInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                          const NetAddress* privates, const NetOptions& options, NetSendHook send, void* context,
                          uint32_t nowMs) {
  Begin(c, true, session, lobbies, lobbyCount, options, nowMs);
  UseHook(c, privates, send, context, nowMs);
}

void LobbyBeginJoinInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                          uint64_t code, const NetAddress* privates, const NetOptions& options, NetSendHook send,
                          void* context, uint32_t nowMs) {
  Begin(c, false, session, lobbies, lobbyCount, options, nowMs);
  c.code = code;
  c.haveCode = true;
  UseHook(c, privates, send, context, nowMs);
}

const char* LobbyPathFamily(const LobbyClient& c) { return IsIpv4(c.pathAddress) ? "IPv4" : "IPv6"; }

void LobbyClientPoll(LobbyClient& c, uint32_t nowMs) {
  if (c.phase == LobbyClientPhase::Session) {
    NetPoll(*c.session, nowMs);
    return;
  }
  if (c.socket != NET_NO_SOCKET && c.send == nullptr) {
    uint8_t buffer[LOBBY_MAX_RELAYED + 1];
    for (int32_t read = 0; read < NET_POLL_DATAGRAMS && c.phase != LobbyClientPhase::Session; ++read) {
      NetAddress from{};
      const int32_t n = ReceiveDatagram(c.socket, buffer, sizeof buffer, from, nullptr);
      if (n < 0) break;
      LobbyClientReceive(c, from, buffer, static_cast<size_t>(n), nowMs);
    }
  }
  if (c.phase == LobbyClientPhase::Session) NetPoll(*c.session, nowMs);
  else LobbyClientService(c, nowMs);
}

void LobbyClientReceive(LobbyClient& c, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs) {
  if (c.phase == LobbyClientPhase::Closed || c.phase == LobbyClientPhase::Failed) return;
  const bool fromLobby = LobbyIndex(c, from) >= 0;
  if (IsLobbyDatagram(data, size)) {
    LobbyDatagram d;
    if (ReadLobbyDatagram(data, size, d) != LobbyReadResult::Ok) {
      ++c.dropped;
    } else if (d.kind == LobbyKind::Relayed) {
      TakeRelayed(c, from, d, nowMs);
    } else if (fromLobby && d.kind != LobbyKind::Probe) {
      TakeFromLobby(c, LobbyIndex(c, from), d, nowMs);
    } else if (d.kind == LobbyKind::Probe) {
      TakeProbe(c, from, d, nowMs);
    } else {
      ++c.dropped;  // the lobby's kinds from anyone else
    }
    return;
  }
  // A game datagram straight from the lobby's address is forged: the relay
  // sends only in its envelope.
  if (c.phase == LobbyClientPhase::Session && IsNetDatagram(data, size) && !fromLobby) {
    NetReceive(*c.session, from, data, size, nowMs);
    return;
  }
  // The host's first game datagram: a Join over a path its probes opened.
  const bool punched = Among(c.heard, c.heardCount, from);
  if (c.host && !fromLobby && IsNetDatagram(data, size) && c.phase == LobbyClientPhase::Punching && punched) {
    BeginSession(c, from, nowMs);
    NetReceive(*c.session, from, data, size, nowMs);
    return;
  }
  ++c.dropped;
}

void LobbyClientService(LobbyClient& c, uint32_t nowMs) {
  switch (c.phase) {
    case LobbyClientPhase::Asking:
      if (nowMs - c.answeredMs >= LOBBY_ANSWER_MS) Fail(c, LobbyFailure::NoLobby);
      else AskAgain(c, nowMs);
      return;
    case LobbyClientPhase::Waiting: {
      const uint32_t life = c.waitLimitMs != 0 ? c.waitLimitMs : LOBBY_CODE_LIFE_MS;
      if (nowMs - c.codeMs >= life) Fail(c, c.waitLimitMs != 0 ? LobbyFailure::NobodyCame : LobbyFailure::Expired);
      else if (nowMs - c.answeredMs >= LOBBY_SILENT_MS) Fail(c, LobbyFailure::NoLobby);
      else if (nowMs - c.refreshedMs >= c.refreshS * 1000u) Refresh(c, 0, nowMs);
      else AskAgain(c, nowMs);
      return;
    }
    case LobbyClientPhase::Punching:
      if (!c.host && nowMs - c.peersMs >= LOBBY_PUNCH_MS) {
        BeginSession(c, c.lobby, nowMs);  // no direct path answered: the relay
        return;
      }
      if (c.host && nowMs - c.peersMs >= LOBBY_UNREACHED_MS) {
        Fail(c, LobbyFailure::Unreached);
        return;
      }
      // The host's refreshes ask the lobby for its Peers again, and keep
      // the room and the NAT mapping towards the lobby alive for the relay.
      if (c.host && nowMs - c.refreshedMs >= 1000u) Refresh(c, 0, nowMs);
      AskAgain(c, nowMs);
      ProbeTargets(c, nowMs);
      return;
    case LobbyClientPhase::Closed:
    case LobbyClientPhase::Session:
    case LobbyClientPhase::Failed:
      return;
  }
}

LobbyClientEvent LobbyTakeClientEvent(LobbyClient& c) {
  if (c.eventCount == 0) return LobbyClientEvent::None;
  const LobbyClientEvent e = c.events[0];
  for (int32_t i = 1; i < c.eventCount; ++i) c.events[i - 1] = c.events[i];
  --c.eventCount;
  return e;
}

const char* LobbyClientText(const LobbyClient& c) { return c.phase == LobbyClientPhase::Failed ? c.text : ""; }

NetSocket LobbyClientSocket(const LobbyClient& c) {
  return c.phase == LobbyClientPhase::Session ? NetSessionSocket(*c.session) : c.socket;
}

void LobbyClientClose(LobbyClient& c) {
  if (c.phase == LobbyClientPhase::Session) return;
  if (c.socket != NET_NO_SOCKET && c.send == nullptr) CloseUdpSocket(c.socket);
  c.socket = NET_NO_SOCKET;
  c.phase = LobbyClientPhase::Closed;
}
