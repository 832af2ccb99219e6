// The invite client: the lobby's requests and replies, the poll (the socket's
// one reader, before the path and after), the events and the texts.
#include "lobby/lobby_client_state.h"

#include <cstdio>

#include "lobby/lobby_service.h"

namespace {
LobbyClient clients[2];
}  // namespace
LobbyClient& lobbyClient = clients[0];
LobbyClient& lobbyClientB = clients[1];

namespace {

// A host whose lobby stops answering its refreshes says so after this.
constexpr uint32_t LOBBY_SILENT_MS = 3 * LOBBY_REFRESH_S * 1000 + LOBBY_ANSWER_MS;
// A host that heard of a joiner but got no Join from it gives up after this:
// the joiner's relay Join comes after its punching, and it waits for the
// answer as long as any joiner does.
constexpr uint32_t LOBBY_UNREACHED_MS = LOBBY_PUNCH_MS + NET_JOIN_WAIT_MS;
static_assert(LOBBY_MAX_RELAYED < NET_READ_BYTES, "a relayed datagram is read whole");

}  // namespace

void LobbyFail(LobbyClient& c, LobbyFailure why) {
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
    case LobbyFailure::Unavailable:
      std::snprintf(c.text, sizeof c.text, "the lobby is unavailable");
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
  LobbyEvent(c, LobbyClientEvent::Failed);
}

// The request to the lobby's address `i`, with this side's own addresses
// of both families.
void LobbyAsk(LobbyClient& c, int32_t i, uint32_t nowMs) {
  LobbyDatagram d{};
  d.kind = c.host ? LobbyKind::Register : LobbyKind::Join;
  d.cookie = c.cookies[i];
  d.code = c.host ? 0 : c.code;
  d.ticket = c.ticket;
  for (int32_t k = 0; k < c.lobbyCount; ++k) d.privates[k] = c.privates[k];
  c.refused[i] = !LobbySendTo(c, c.lobbies[i], d);
  c.asked[i] = true;
  c.askedAt[i] = nowMs;
}

// Requests repeated: the first address until it answers, the second after
// a while, or once the first answered or could not be sent to, each until
// it answers or the answer time is over.
void LobbyAskAgain(LobbyClient& c, uint32_t nowMs) {
  for (int32_t i = 0; i < c.lobbyCount; ++i) {
    const bool due = i == 0 || c.answered[0] || c.refused[0] || nowMs - c.beganMs >= LOBBY_SECOND_FAMILY_MS;
    if (!c.answered[i] && due && nowMs - c.beganMs < LOBBY_ANSWER_MS &&
        (!c.asked[i] || nowMs - c.askedAt[i] >= LOBBY_ASK_RESEND_MS)) {
      LobbyAsk(c, i, nowMs);
    }
  }
}

namespace {

void TakePeers(LobbyClient& c, const LobbyDatagram& d, uint32_t nowMs) {
  if (d.role != (c.host ? 0 : 1) || d.code != c.code) return;
  if (c.token != 0 && d.token != c.token) return;  // not this room's
  c.token = d.token;
  const bool first = c.phase != LobbyClientPhase::Punching;
  if (first) LobbyStartPunching(c, nowMs);
  c.peerPublic = d.publics[0];
  for (int32_t i = 0; i < LOBBY_FAMILIES; ++i) {
    LobbyAddTarget(c, d.publics[i], nowMs);
    LobbyAddTarget(c, d.privates[i], nowMs);
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
  LobbyAsk(c, 0, nowMs);
  LobbyAskAgain(c, nowMs);
}

void TakeFromLobby(LobbyClient& c, int32_t at, const LobbyDatagram& d, uint32_t nowMs) {
  // Only a reply to this client's own request counts: a stranger who forges
  // the lobby's address does not know the ticket.
  if (d.ticket != c.ticket) {
    ++c.dropped;
    return;
  }
  c.answeredMs = nowMs;
  if (c.tried != 0 && SameAddress(c.lobbies[at], c.lobby)) ++c.reattaches;
  c.tried = 0;
  const bool first = c.phase == LobbyClientPhase::Asking;
  switch (d.kind) {
    case LobbyKind::Challenge:
      if (c.answered[at] || c.phase == LobbyClientPhase::Session) return;
      c.cookies[at] = d.cookie;
      LobbyAsk(c, at, nowMs);
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
      LobbyEvent(c, LobbyClientEvent::CodeGiven);
      return;
    case LobbyKind::Peers:
      if (!c.host) c.answered[at] = true;
      // A lobby of several processes: the host's is the relay, and takes the
      // place of the one asked (this side's address there is learnt from
      // its Refresh, LobbyBeginSession).
      if (!c.host && first && d.relay.port != 0 && IsIpv4(d.relay) == IsIpv4(c.lobbies[at])) {
        c.lobbies[at] = d.relay;
        c.relayElsewhere = true;
      }
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
      if (d.reason != LobbyError::RateLimited && d.reason != LobbyError::Full && d.reason != LobbyError::Unavailable &&
          d.code != c.code)
        return;
      if (d.reason == LobbyError::Dropped && c.host && c.phase == LobbyClientPhase::Waiting) AskAnew(c, nowMs);
      else if (d.reason == LobbyError::Dropped) return;
      else if (d.reason == LobbyError::RateLimited) LobbyFail(c, LobbyFailure::RateLimited);
      else if (d.reason == LobbyError::Full) LobbyFail(c, LobbyFailure::Full);
      else if (d.reason == LobbyError::Unavailable) LobbyFail(c, LobbyFailure::Unavailable);
      else if (d.reason == LobbyError::Expired) LobbyFail(c, LobbyFailure::Expired);
      // A refresh the lobby no longer knows: the code's life is over.
      else if (c.host) LobbyFail(c, LobbyFailure::Expired);
      else LobbyFail(c, LobbyFailure::UnknownCode);
      return;
    default:
      ++c.dropped;
      return;
  }
}

}  // namespace

const char* LobbyPathFamily(const LobbyClient& c) { return IsIpv4(c.pathAddress) ? "IPv4" : "IPv6"; }

namespace {

struct Reading {
  LobbyClient* client;
  uint32_t nowMs;
};

void TakeRead(void* context, const NetAddress& from, const uint8_t* data, size_t size) {
  const Reading& r = *static_cast<Reading*>(context);
  LobbyClientReceive(*r.client, from, data, size, r.nowMs);
}

}  // namespace

void LobbyClientPoll(LobbyClient& c, uint32_t nowMs) {
  // The one reader of the socket, before the path and after: the session is
  // handed the game datagrams it may trust, then what the read met.
  // Once the session has begun it owns the socket (and closes it at its end).
  const NetSocket socket = c.phase == LobbyClientPhase::Session ? NetSessionSocket(*c.session) : c.socket;
  if (socket != NET_NO_SOCKET && c.send == nullptr &&
      (c.phase != LobbyClientPhase::Closed && c.phase != LobbyClientPhase::Failed)) {
    Reading reading = {&c, nowMs};
    const NetRead read = ReadWaiting(socket, NET_POLL_DATAGRAMS, TakeRead, &reading);
    c.receiveFaults += read.faults;
    if (c.phase == LobbyClientPhase::Session) {
      NetTakeRead(*c.session, read);
    } else {
      c.receiveFaultRun = read.faults != 0 && read.read == 0 ? c.receiveFaultRun + 1 : 0;
      if (c.receiveFaultRun >= NET_FAULT_RUN) {
        LobbyFail(c, LobbyFailure::SocketFault);
        std::snprintf(c.text, sizeof c.text, "this computer's network socket failed %d times in a row", NET_FAULT_RUN);
        return;
      }
    }
  }
  if (c.phase == LobbyClientPhase::Session) {
    NetService(*c.session, nowMs);
    LobbyServeSession(c, nowMs);
  } else {
    LobbyClientService(c, nowMs);
  }
}

void LobbyClientReceive(LobbyClient& c, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs) {
  if (c.phase == LobbyClientPhase::Closed || c.phase == LobbyClientPhase::Failed) return;
  const bool fromLobby = LobbyIndex(c, from) >= 0;
  if (IsLobbyDatagram(data, size)) {
    LobbyDatagram d;
    if (ReadLobbyDatagram(data, size, d) != LobbyReadResult::Ok) {
      ++c.dropped;
    } else if (d.kind == LobbyKind::Relayed) {
      LobbyTakeRelayed(c, from, d, nowMs);
    } else if (fromLobby && d.kind != LobbyKind::Probe) {
      TakeFromLobby(c, LobbyIndex(c, from), d, nowMs);
    } else if (d.kind == LobbyKind::Probe) {
      LobbyTakeProbe(c, from, d, nowMs);
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
  const bool punched = LobbyAmong(c.heard, c.heardCount, from);
  if (c.host && !fromLobby && IsNetDatagram(data, size) && c.phase == LobbyClientPhase::Punching && punched) {
    LobbyBeginSession(c, from, nowMs);
    NetReceive(*c.session, from, data, size, nowMs);
    return;
  }
  ++c.dropped;
}

namespace {

// The lobby process fell silent: the next of the name's addresses takes the
// place of the one of its family, and is refreshed at once (by the ticket,
// which lets it take the room over).
void TrySpare(LobbyClient& c, uint32_t nowMs) {
  const NetAddress next = c.spares[c.tried++];
  for (int32_t i = 0; i < c.lobbyCount; ++i) {
    if (!SameAddress(c.lobbies[i], c.lobby) || IsIpv4(next) != IsIpv4(c.lobby)) continue;
    c.spares[c.tried - 1] = c.lobbies[i];  // tried again after the others
    c.lobbies[i] = c.lobby = next;
    c.answered[i] = true;
    LobbyRefresh(c, 0, nowMs);
    return;
  }
}

}  // namespace

void LobbyAddSpare(LobbyClient& c, const NetAddress& lobby) {
  if (c.spareCount < LOBBY_SPARES && LobbyIndex(c, lobby) < 0 && !LobbyAmong(c.spares, c.spareCount, lobby))
    c.spares[c.spareCount++] = lobby;
}

void LobbyClientService(LobbyClient& c, uint32_t nowMs) {
  switch (c.phase) {
    case LobbyClientPhase::Asking:
      if (nowMs - c.answeredMs >= LOBBY_ANSWER_MS) LobbyFail(c, LobbyFailure::NoLobby);
      else LobbyAskAgain(c, nowMs);
      return;
    case LobbyClientPhase::Waiting: {
      const uint32_t life = c.waitLimitMs != 0 ? c.waitLimitMs : LOBBY_CODE_LIFE_MS;
      if (nowMs - c.codeMs >= life) LobbyFail(c, c.waitLimitMs != 0 ? LobbyFailure::NobodyCame : LobbyFailure::Expired);
      else if (nowMs - c.answeredMs >= LOBBY_SILENT_MS) LobbyFail(c, LobbyFailure::NoLobby);
      else if (c.tried < c.spareCount && nowMs - c.answeredMs >= (c.tried + 1u) * c.refreshS * 1000u + 500u)
        TrySpare(c, nowMs);
      else if (nowMs - c.refreshedMs >= c.refreshS * 1000u) LobbyRefresh(c, 0, nowMs);
      else LobbyAskAgain(c, nowMs);
      return;
    }
    case LobbyClientPhase::Punching:
      if (!c.host && nowMs - c.peersMs >= LOBBY_PUNCH_MS) {
        LobbyBeginSession(c, c.lobby, nowMs);  // no direct path answered: the relay
        return;
      }
      if (c.host && nowMs - c.peersMs >= LOBBY_UNREACHED_MS) {
        LobbyFail(c, LobbyFailure::Unreached);
        return;
      }
      // The host's refreshes ask the lobby for its Peers again, and keep
      // the room and the NAT mapping towards the lobby alive for the relay.
      if (c.host && nowMs - c.refreshedMs >= 1000u) LobbyRefresh(c, 0, nowMs);
      LobbyAskAgain(c, nowMs);
      LobbyProbeTargets(c, nowMs);
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

LobbyClientStats LobbyClientFigures(const LobbyClient& c) {
  LobbyClientStats f{};
  f.phase = c.phase;
  f.host = c.host;
  f.code = c.code;
  f.codesGiven = c.codesGiven;
  f.reattaches = c.reattaches;
  f.path = c.path;
  f.peerPublic = c.peerPublic;
  f.pathMs = c.pathMs;
  f.fellBack = c.fellBack;
  f.fallbackSilenceMs = c.fallbackSilenceMs;
  f.probesSent = c.probesSent;
  f.probesAnswered = c.probesAnswered;
  f.dropped = c.dropped;
  f.sendFaults = c.sendFaults;
  f.receiveFaults = c.receiveFaults;
  return f;
}

NetSocket LobbyClientSocket(const LobbyClient& c) {
  return c.phase == LobbyClientPhase::Session ? NetSessionSocket(*c.session) : c.socket;
}

void LobbyClientClose(LobbyClient& c) {
  if (c.phase == LobbyClientPhase::Session) return;
  if (c.socket != NET_NO_SOCKET && c.send == nullptr) CloseUdpSocket(c.socket);
  c.socket = NET_NO_SOCKET;
  c.phase = LobbyClientPhase::Closed;
}
