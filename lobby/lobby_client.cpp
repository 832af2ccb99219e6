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

// False when the system refused it at once (no route to that family).
bool Send(LobbyClient& c, const NetAddress& to, const LobbyDatagram& d) {
  uint8_t out[LOBBY_MAX_DATAGRAM];
  const size_t n = WriteLobbyDatagram(d, out, sizeof out);
  if (n == 0) return false;
  if (c.send != nullptr) return c.send(c.sendContext, to, out, n);
  return c.socket != NET_NO_SOCKET && SendDatagram(c.socket, to, out, n);
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
  d.path = path;
  for (int32_t i = 0; i < c.lobbyCount; ++i)
    if (c.answered[i] && (path == 0 || SameAddress(c.lobbies[i], c.lobby))) Send(c, c.lobbies[i], d);
  c.refreshedMs = nowMs;
}

void Probe(LobbyClient& c, const NetAddress& to, uint8_t answer) {
  LobbyDatagram d{};
  d.kind = LobbyKind::Probe;
  d.code = c.code;
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

void AddTo(NetAddress* list, int32_t& count, const NetAddress& a) {
  if (IsUnspecified(a) || a.port == 0 || count >= LOBBY_TARGETS || Among(list, count, a)) return;
  list[count++] = a;
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
  if (c.host) {
    if (c.send != nullptr) NetBeginHost(*c.session, options, c.send, c.sendContext, nowMs);
    else NetHostOnSocket(*c.session, c.socket, options, nowMs);
  } else if (c.send != nullptr) {
    NetBeginJoin(*c.session, peer, options, c.send, c.sendContext, nowMs);
  } else {
    NetJoinOnSocket(*c.session, c.socket, peer, options, nowMs);
  }
  NetSetForeignHook(*c.session, ClientHook, &c);
  // The lobby learns that this room needs no relay (its event line).
  if (c.host && c.path == LobbyPath::Direct) Refresh(c, 1, nowMs);
  Event(c, LobbyClientEvent::Path);
}

void TakePeers(LobbyClient& c, const LobbyDatagram& d, uint32_t nowMs) {
  if (d.role != (c.host ? 0 : 1) || d.code != c.code) return;
  const bool first = c.phase != LobbyClientPhase::Punching;
  if (first) {
    c.targetCount = 0;
    c.peersMs = nowMs;
    c.probedMs = nowMs - LOBBY_PROBE_MS;  // the first probes go at once
    c.phase = LobbyClientPhase::Punching;
  }
  c.peerPublic = d.publics[0];
  for (int32_t i = 0; i < LOBBY_FAMILIES; ++i) {
    AddTo(c.targets, c.targetCount, d.publics[i]);
    AddTo(c.targets, c.targetCount, d.privates[i]);
  }
  if (first) LobbyClientService(c, nowMs);
}

void TakeFromLobby(LobbyClient& c, int32_t at, const LobbyDatagram& d, uint32_t nowMs) {
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
      if (d.reason == LobbyError::RateLimited) Fail(c, LobbyFailure::RateLimited);
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

// A probe from the other side proves that path inbound; its answer proves
// it both ways.
void TakeProbe(LobbyClient& c, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  const bool fromPeer = d.role == (c.host ? 1 : 0) && c.haveCode && d.code == c.code;
  const bool listening = c.phase == LobbyClientPhase::Punching || c.phase == LobbyClientPhase::Session ||
                         (c.host && c.phase == LobbyClientPhase::Waiting);
  if (!fromPeer || !listening) {
    ++c.dropped;
    return;
  }
  if (c.host && c.phase == LobbyClientPhase::Waiting) {  // the lobby's Peers was lost on the way
    c.peersMs = nowMs;
    c.probedMs = nowMs - LOBBY_PROBE_MS;
    c.phase = LobbyClientPhase::Punching;
  }
  if (c.host) AddTo(c.heard, c.heardCount, from);
  if (d.answer == 0) {
    Probe(c, from, 1);
    // Behind a NAT that picks a port per destination the probe's source is
    // not the address the lobby saw: it is the one to answer and probe.
    if (c.phase == LobbyClientPhase::Punching) AddTo(c.targets, c.targetCount, from);
    return;
  }
  ++c.probesAnswered;
  if (!c.host && c.phase == LobbyClientPhase::Punching) BeginSession(c, from, nowMs);
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
  c.ticket = (static_cast<uint64_t>(SystemRandom32()) << 32 | SystemRandom32()) | 1;  // never 0: none
  c.beganMs = c.answeredMs = nowMs;
  c.phase = LobbyClientPhase::Asking;
}

bool OpenSocket(LobbyClient& c, uint32_t nowMs) {
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
  Ask(c, 0, nowMs);
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
    uint8_t buffer[NET_MAX_DATAGRAM + 1];
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
  if (IsLobbyDatagram(data, size)) {
    LobbyDatagram d;
    if (ReadLobbyDatagram(data, size, d) != LobbyReadResult::Ok) {
      ++c.dropped;
    } else if (LobbyIndex(c, from) >= 0 && d.kind != LobbyKind::Probe) {
      TakeFromLobby(c, LobbyIndex(c, from), d, nowMs);
    } else if (d.kind == LobbyKind::Probe) {
      TakeProbe(c, from, d, nowMs);
    } else {
      ++c.dropped;  // the lobby's kinds from anyone else
    }
    return;
  }
  if (c.phase == LobbyClientPhase::Session) {
    // The session hands over what is not its own; only its own go back.
    if (IsNetDatagram(data, size)) NetReceive(*c.session, from, data, size, nowMs);
    else ++c.dropped;
    return;
  }
  // The host's first game datagram: a Join over a path its probes opened,
  // or through the lobby's relay.
  const bool punched = Among(c.heard, c.heardCount, from);
  const bool relayed = LobbyIndex(c, from) >= 0;  // also before the lobby's Peers came
  if (c.host && IsNetDatagram(data, size) &&
      ((c.phase == LobbyClientPhase::Punching && punched) ||
       (relayed && (c.phase == LobbyClientPhase::Punching || c.phase == LobbyClientPhase::Waiting)))) {
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
      if (nowMs - c.peersMs < LOBBY_PUNCH_MS && nowMs - c.probedMs >= LOBBY_PROBE_MS) {
        for (int32_t i = 0; i < c.targetCount; ++i) Probe(c, c.targets[i], 0);
        c.probedMs = nowMs;
      }
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
