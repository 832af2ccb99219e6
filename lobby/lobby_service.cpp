// The lobby: rooms, cookies, rate limits by network, quotas and the relay.
#include "lobby/lobby_service.h"

#include <cstdio>
#include <cstring>

#include "lobby/lobby_limits.h"
#include "lobby/lobby_rooms.h"
#include "net/keyed_hash.h"
#include "lobby/lobby_log.h"

LobbyService lobbyService;

namespace {

// ---- Rooms ------------------------------------------------------------------

enum class Sender : uint8_t { Other, Known, Second };

// A request with the side's ticket over the family it has no address of
// yet: the side's second address.
Sender TakeSecond(NetAddress* side, uint64_t ticket, const LobbyDatagram& d, const NetAddress& from) {
  if (LobbyHolds(side, from)) return d.ticket == ticket ? Sender::Known : Sender::Other;
  if (d.ticket != ticket || side[1].port != 0 || IsIpv4(side[0]) == IsIpv4(from)) return Sender::Other;
  side[1] = from;
  return Sender::Second;
}

uint64_t NewCode(LobbyService& s) {
  for (;;) {
    const uint64_t code = KeyedHash(s.codeKey, ++s.codeCounter, 0, 0) % LOBBY_CODE_COUNT;
    if (LobbyFindRoom(s, code) == nullptr) return code;
  }
}

// The lobby is full: the network holding the most waiting rooms gives up its
// oldest, when it holds at least two more than the asker's; its host is told
// at once and asks again. Null when the rooms are shared out evenly (or all
// joined): "the lobby is full". A host that keeps its room refreshed in a
// network of a few rooms never loses it to a flood from a few networks.
LobbyRoom* RoomGivenUp(LobbyService& s, uint64_t askerNet, uint32_t nowMs) {
  uint64_t heaviest = 0;
  if (!LobbyNetworkToGiveUp(s, askerNet, heaviest)) return nullptr;
  LobbyRoom* oldest = nullptr;
  for (uint32_t i = 0; i < s.cap; ++i) {
    LobbyRoom& r = s.rooms[i];
    if (r.state == LobbyRoomState::Waiting && r.hostNet == heaviest &&
        (oldest == nullptr || nowMs - r.createdMs > nowMs - oldest->createdMs))
      oldest = &r;
  }
  ++s.counts.dropped;
  for (int32_t f = 0; f < LOBBY_FAMILIES; ++f)
    if (oldest->hostPublic[f].port != 0)
      LobbySendError(s, oldest->hostPublic[f], LobbyError::Dropped, oldest->code, oldest->hostTicket);
  LobbyRoomLog(s, LOG_DROPPED, *oldest, "given up for another network's host", nullptr, nowMs);
  ++s.counts.ended;
  oldest->state = LobbyRoomState::Free;
  return oldest;
}

void Register(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  // A repeated request keeps its room; one over the other family with the
  // room's ticket tells it the host's address there, even when it comes
  // after the joiner (that family was slower). Neither counts again.
  LobbyRoom* r = nullptr;
  Sender sender = Sender::Other;
  for (uint32_t i = 0; i < s.cap && r == nullptr; ++i) {
    LobbyRoom& room = s.rooms[i];
    if (room.state == LobbyRoomState::Free) continue;
    sender = TakeSecond(room.hostPublic, room.hostTicket, d, from);
    if (sender != Sender::Other) r = &room;
  }
  const uint64_t network = LobbyNetwork(from);
  if (r == nullptr) {
    const LobbyCells cells = LobbyCellsOf(s, network, nowMs);
    if (LobbyEstimate(s, LobbyCount::Registrations, cells) >= LOBBY_REGISTRATIONS_PER_WINDOW ||
        LobbyRoomsOf(s, network, LobbyRoomState::Waiting) >= LobbyShare(s)) {
      LobbySendError(s, from, LobbyError::RateLimited, 0, d.ticket);
      return;
    }
    LobbyCountUp(s, LobbyCount::Registrations, cells);
    uint64_t token = 0;
    if (!SecureRandom(&token, sizeof token) || token == 0) {
      LobbySay(s, LOG_NO_RANDOM, "the system's secure random generator failed: no room made", nowMs);
      return;
    }
    r = LobbyFreeRoom(s);
    if (r == nullptr) r = RoomGivenUp(s, network, nowMs);
    if (r == nullptr) {
      ++s.counts.full;
      LobbySay(s, LOG_FULL, "the lobby is full: a host refused", nowMs);
      LobbySendError(s, from, LobbyError::Full, 0, d.ticket);
      return;
    }
    *r = LobbyRoom{};
    r->state = LobbyRoomState::Waiting;
    r->code = NewCode(s);
    r->token = token;
    r->hostPublic[0] = from;
    r->hostTicket = d.ticket;
    r->hostNet = network;
    r->createdMs = nowMs;
    ++s.counts.registered;
    LobbyRoomLog(s, LOG_REGISTERED, *r, "registered by", &from, nowMs);
  } else if (sender == Sender::Second) {
    LobbyRoomLog(s, LOG_SECOND, *r, "host also at", &from, nowMs);
  }
  std::memcpy(r->hostPrivate, d.privates, sizeof r->hostPrivate);
  r->lastHostMs = r->lastHeardMs = nowMs;
  LobbySendCode(s, from, *r);
  if (r->state == LobbyRoomState::Joined && sender == Sender::Second) LobbySendPeers(s, *r, false);
}

void Join(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  LobbyRoom* r = LobbyFindRoom(s, d.code);
  // The joiner repeating its request, or its other family: no new look-up.
  const Sender sender = r == nullptr || r->state != LobbyRoomState::Joined
                            ? Sender::Other
                            : TakeSecond(r->joinerPublic, r->joinerTicket, d, from);
  const uint64_t network = LobbyNetwork(from);
  if (sender == Sender::Other) {
    const LobbyCells cells = LobbyCellsOf(s, network, nowMs);
    if (!LobbyMayLookUp(s, cells, nowMs)) {
      LobbySendError(s, from, LobbyError::RateLimited, d.code, d.ticket);
      return;
    }
    if (r == nullptr || LobbyHolds(r->hostPublic, from) || r->state == LobbyRoomState::Joined) {
      LobbyChargeUnknown(s, cells);
      LobbySendError(s, from, LobbyError::UnknownCode, d.code, d.ticket);
      return;
    }
  }
  if (sender == Sender::Second) LobbyRoomLog(s, LOG_SECOND, *r, "joiner also at", &from, nowMs);
  if (r->state == LobbyRoomState::Waiting && nowMs - r->createdMs >= LOBBY_CODE_LIFE_MS) {
    ++s.counts.expired;
    LobbyEndRoom(s, *r, "expired", nowMs);
    LobbySendError(s, from, LobbyError::Expired, d.code, d.ticket);
    return;
  }
  if (r->state == LobbyRoomState::Waiting) {
    // Neither side's network may hold more than its share of joined rooms.
    const uint32_t share = LobbyShare(s);
    if (LobbyRoomsOf(s, network, LobbyRoomState::Joined) >= share ||
        LobbyRoomsOf(s, r->hostNet, LobbyRoomState::Joined) >= share) {
      LobbySendError(s, from, LobbyError::RateLimited, d.code, d.ticket);
      return;
    }
    r->state = LobbyRoomState::Joined;
    r->joinerPublic[0] = from;
    r->joinerTicket = d.ticket;
    r->joinerNet = network;
    r->budget[0] = r->budget[1] = LOBBY_RELAY_BYTES_PER_S;
    r->budgetMs = nowMs;
    ++s.counts.joined;
    LobbyRoomLog(s, LOG_JOINED, *r, "joined by", &from, nowMs);
  }
  std::memcpy(r->joinerPrivate, d.privates, sizeof r->joinerPrivate);
  r->lastHeardMs = nowMs;
  LobbySendPeers(s, *r, true);
  LobbySendPeers(s, *r, false);
}

// Only the host (its ticket, from one of its addresses) refreshes its room,
// at most every LOBBY_REFRESH_GAP_MS; the answer goes to it alone. In a match
// either side does, by its ticket, from wherever its NAT sends it now: the
// relay follows a side whose mapping changed.
void Refresh(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  LobbyRoom* r = LobbyFindRoom(s, d.code);
  const bool joined = r != nullptr && r->state == LobbyRoomState::Joined;
  NetAddress* side = r == nullptr                                  ? nullptr
                     : d.ticket == r->hostTicket                   ? r->hostPublic
                     : joined && d.ticket == r->joinerTicket ? r->joinerPublic
                                                                   : nullptr;
  if (side == nullptr || (!joined && !LobbyHolds(side, from))) {
    LobbySendError(s, from, LobbyError::UnknownCode, d.code, d.ticket);
    return;
  }
  if (!LobbyHolds(side, from)) {
    side[IsIpv4(from) == IsIpv4(side[0]) ? 0 : 1] = from;
    LobbyRoomLog(s, LOG_MOVED, *r, side == r->hostPublic ? "host moved to" : "joiner moved to", &from, nowMs);
  }
  if (side == r->joinerPublic) {
    r->lastHeardMs = nowMs;
    return;
  }
  if (nowMs - r->refreshMs < LOBBY_REFRESH_GAP_MS && r->refreshMs != 0) {
    ++s.counts.refreshesIgnored;
    return;
  }
  r->refreshMs = nowMs;
  r->lastHostMs = r->lastHeardMs = nowMs;
  if (r->state == LobbyRoomState::Waiting) {
    LobbySendCode(s, from, *r);
    return;
  }
  if (d.path == 1 && !r->direct) {
    r->direct = true;
    ++s.counts.direct;
    LobbyRoomLog(s, LOG_DIRECT, *r, "direct", nullptr, nowMs);
  }
  if (d.path == 0) LobbySendPeers(s, *r, true);  // the host still has no path: its Peers may have been lost
}

// A Relayed datagram from one of a joined room's two addresses, with the
// room's token: forwarded as it is to the other side, within the room's
// budget. Anything else costs the room nothing.
void Relay(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, const uint8_t* data, size_t size,
           uint32_t nowMs) {
  for (uint32_t i = 0; i < s.cap; ++i) {
    LobbyRoom& r = s.rooms[i];
    if (r.state != LobbyRoomState::Joined) continue;
    const int way = LobbyHolds(r.hostPublic, from) ? 0 : LobbyHolds(r.joinerPublic, from) ? 1 : -1;
    if (way < 0) continue;
    if (d.token != r.token) {
      ++s.counts.forged;
      return;
    }
    const uint32_t elapsed = nowMs - r.budgetMs;
    r.budgetMs = nowMs;
    for (uint32_t& b : r.budget) {
      const uint64_t topped = b + static_cast<uint64_t>(elapsed) * LOBBY_RELAY_BYTES_PER_S / 1000;
      b = topped > LOBBY_RELAY_BYTES_PER_S ? LOBBY_RELAY_BYTES_PER_S : static_cast<uint32_t>(topped);
    }
    r.lastHeardMs = nowMs;
    if (way == 0) r.lastHostMs = nowMs;
    if (r.budget[way] < size) {
      ++s.counts.overCap;
      return;
    }
    r.budget[way] -= static_cast<uint32_t>(size);
    if (!r.relayed) {
      r.relayed = true;
      ++s.counts.relayed;
      LobbyRoomLog(s, LOG_RELAYED, r, "relayed", nullptr, nowMs);
    }
    ++s.counts.relayedDatagrams;
    s.counts.relayedBytes += size;
    if (!s.send(s.sendContext, way == 0 ? r.joinerPublic[0] : r.hostPublic[0], data, size)) {
      ++s.counts.sendFaults;
      LobbySay(s, LOG_SEND_FAULT, "a relayed datagram could not be sent", nowMs);
    }
    return;
  }
  ++s.counts.strangers;
}

}  // namespace

void LobbyBegin(LobbyService& s, uint32_t cap, const uint64_t secret[LOBBY_SECRET_WORDS], LobbySend send,
                void* sendContext, LobbyLog log, void* logContext) {
  std::memset(&s, 0, sizeof s);
  s.cap = cap < 1 ? 1 : cap > LOBBY_ROOM_SLOTS ? LOBBY_ROOM_SLOTS : cap;
  s.cookieKey[0] = secret[0];
  s.cookieKey[1] = secret[1];
  s.codeKey[0] = secret[2];
  s.codeKey[1] = secret[3];
  s.sketch.key[0] = secret[4];
  s.sketch.key[1] = secret[5];
  s.unknownBudget = LOBBY_UNKNOWN_PER_S * 1000;
  s.refreshS = LOBBY_REFRESH_S;
  s.send = send;
  s.sendContext = sendContext;
  s.log = log;
  s.logContext = logContext;
}

void LobbyReceive(LobbyService& s, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs) {
  LobbyDatagram d;
  if (!IsLobbyDatagram(data, size)) {
    ++s.counts.strangers;  // only Relayed datagrams are relayed
    return;
  }
  if (ReadLobbyDatagram(data, size, d) != LobbyReadResult::Ok) {
    ++s.counts.badDatagrams;
    return;
  }
  switch (d.kind) {
    case LobbyKind::Register:
    case LobbyKind::Join:
      // No state and nothing larger than the request for an address that
      // has not shown it receives what is sent to it.
      if (!LobbyCookieValid(s, from, d.cookie, nowMs)) {
        LobbyDatagram challenge{};
        challenge.kind = LobbyKind::Challenge;
        challenge.cookie = LobbyCookie(s, from, nowMs);
        challenge.ticket = d.ticket;
        LobbyReply(s, from, challenge);
        ++s.counts.challenges;
        return;
      }
      if (s.store != nullptr) LobbySharedRequest(s, from, d, nowMs);
      else if (d.kind == LobbyKind::Register) Register(s, from, d, nowMs);
      else Join(s, from, d, nowMs);
      return;
    case LobbyKind::Refresh:
      // Over a shared store, a room this process holds is refreshed here as
      // by the lobby alone (the joiner's ticket known by its hash); another's
      // through the store: a host re-attaching.
      if (s.store != nullptr && LobbyFindRoom(s, d.code) == nullptr) LobbySharedRequest(s, from, d, nowMs);
      else Refresh(s, from, s.store != nullptr ? LobbySharedTicket(s, d) : d, nowMs);
      return;
    case LobbyKind::Relayed:
      Relay(s, from, d, data, size, nowMs);
      return;
    default:  // the lobby's own replies, sent back at it, and probes
      ++s.counts.badDatagrams;
      return;
  }
}

void LobbyTick(LobbyService& s, uint32_t nowMs) {
  if (s.store != nullptr) LobbySharedTick(s, nowMs);
  for (uint32_t i = 0; i < s.cap; ++i) {
    LobbyRoom& r = s.rooms[i];
    if (r.state == LobbyRoomState::Waiting && nowMs - r.createdMs >= LOBBY_CODE_LIFE_MS) {
      ++s.counts.expired;
      LobbyEndRoom(s, r, "expired", nowMs);
    } else if (r.state == LobbyRoomState::Waiting && nowMs - r.lastHostMs >= LOBBY_HOST_SILENCE_MS) {
      LobbyEndRoom(s, r, "host silent", nowMs);
    } else if (r.state == LobbyRoomState::Joined && nowMs - r.lastHeardMs >= LOBBY_ROOM_SILENCE_MS) {
      LobbyEndRoom(s, r, "silent", nowMs);
    }
  }
}

