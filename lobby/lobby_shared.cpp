// The lobby over a shared store: Register, Join and Refresh answered once
// the store has (rooms by code, the counts of the limits), a Join at another
// process told to the host's through the store, and a host re-attached by
// its ticket at a process other than the one it registered with. The relay
// uses this process's table of the rooms it holds alone (lobby_service.cpp).
#include <cstdio>
#include <cstring>

#include "net/keyed_hash.h"
#include "lobby/lobby_limits.h"
#include "lobby/lobby_rooms.h"
#include "lobby/lobby_store.h"

namespace {

constexpr uint32_t TAG_KEYS = 0xFFFFFFF0u;
constexpr uint32_t KEYS_RETRY_MS = 500;
enum Stage : uint8_t { REGISTERING = 1, LOOKING_UP, JOINING, TOLD, REATTACHING, MOVING };
enum CountKind : uint64_t { REGISTRATIONS = 1, LOOKUPS, UNKNOWN, UNKNOWN_ALL };

// A count's key: a keyed hash of its kind and network (no asker can aim at
// another's), its window begun by its first count.
uint64_t CountKey(const LobbyService& s, CountKind kind, uint64_t network) {
  const uint64_t k = KeyedHash(s.ticketKey, 0x636f756e74ull, kind, network);
  return k != 0 ? k : 1;
}

LobbyStoredRoom Stored(const LobbyService& s, const LobbyRoom& r) {
  LobbyStoredRoom st{};
  st.code = r.code;
  st.token = r.token;
  st.hostTicketHash = TicketHash(s, r.hostTicket);
  st.owner = s.process;
  st.hostNet = r.hostNet;
  std::memcpy(st.relay, s.publics, sizeof st.relay);
  std::memcpy(st.hostPublic, r.hostPublic, sizeof st.hostPublic);
  std::memcpy(st.hostPrivate, r.hostPrivate, sizeof st.hostPrivate);
  return st;
}

LobbyPending* Take(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, Stage stage, uint32_t nowMs) {
  for (uint32_t i = 0; i < LOBBY_PENDING; ++i) {
    LobbyPending& p = s.pending[i];
    if (p.used) continue;
    p = LobbyPending{};
    p.used = true;
    p.stage = stage;
    p.from = from;
    p.d = d;
    p.sinceMs = nowMs;
    return &p;
  }
  ++s.counts.pendingFull;  // dropped: the asker sends again
  return nullptr;
}

uint32_t TagOf(const LobbyService& s, const LobbyPending& p) { return static_cast<uint32_t>(&p - s.pending); }

void Unavailable(LobbyService& s, const NetAddress& to, const LobbyDatagram& d) {
  ++s.counts.unavailable;
  LobbySendError(s, to, LobbyError::Unavailable, d.code, d.ticket);
}

void Register(LobbyService& s, LobbyPending& p) {
  uint64_t token = 0, code = 0;
  if (!SecureRandom(&token, sizeof token) || token == 0 || !SecureRandom(&code, sizeof code)) {
    LobbySay(s, LOG_NO_RANDOM, "the system's secure random generator failed: no room made", s.store->nowMs);
    p.used = false;
    return;
  }
  p.code = code % LOBBY_CODE_COUNT;
  p.token = token;
  LobbyRoom r{};
  r.code = p.code;
  r.token = p.token;
  r.hostPublic[0] = p.from;
  r.hostTicket = p.d.ticket;
  r.hostNet = LobbyNetwork(p.from);
  std::memcpy(r.hostPrivate, p.d.privates, sizeof r.hostPrivate);
  p.stage = REGISTERING;
  ++p.calls;
  LobbyStoreRegister(*s.store, s.storeWho, Stored(s, r), LOBBY_CODE_LIFE_MS, CountKey(s, REGISTRATIONS, r.hostNet),
                     LOBBY_LIMIT_WINDOW_MS, TagOf(s, p));
}

void Registered(LobbyService& s, LobbyPending& p, const LobbyStoreAnswer& a, uint32_t nowMs) {
  if (a.result == LobbyStoreResult::Unavailable) return Unavailable(s, p.from, p.d);
  if (a.count > LOBBY_REGISTRATIONS_PER_WINDOW) {
    if (a.result == LobbyStoreResult::Done) LobbyStoreEnd(*s.store, s.storeWho, p.code);
    return LobbySendError(s, p.from, LobbyError::RateLimited, 0, p.d.ticket);
  }
  if (a.result == LobbyStoreResult::Taken) {
    if (++p.tries < 4) return Register(s, p);  // a code in use at another process: another
    return Unavailable(s, p.from, p.d);
  }
  LobbyRoom* r = LobbyFreeRoom(s);
  if (r == nullptr) {
    LobbyStoreEnd(*s.store, s.storeWho, p.code);
    ++s.counts.full;
    LobbySay(s, LOG_FULL, "the lobby is full: a host refused", nowMs);
    return LobbySendError(s, p.from, LobbyError::Full, 0, p.d.ticket);
  }
  *r = LobbyRoom{};
  r->state = LobbyRoomState::Waiting;
  r->code = p.code;
  r->token = p.token;
  r->hostPublic[0] = p.from;
  r->hostTicket = p.d.ticket;
  r->hostNet = LobbyNetwork(p.from);
  std::memcpy(r->hostPrivate, p.d.privates, sizeof r->hostPrivate);
  r->createdMs = r->lastHostMs = r->lastHeardMs = nowMs;
  ++s.counts.registered;
  LobbyRoomLog(s, LOG_REGISTERED, *r, "registered by", &p.from, nowMs);
  LobbySendCode(s, p.from, *r);
}

// The joiner's Peers from the stored room, naming the host's process as the relay.
void PeersFromStore(LobbyService& s, const LobbyStoredRoom& room, const NetAddress& to, uint64_t ticket) {
  LobbyDatagram d{};
  d.kind = LobbyKind::Peers;
  d.code = room.code;
  d.token = room.token;
  d.role = 1;
  d.ticket = ticket;
  std::memcpy(d.publics, room.hostPublic, sizeof d.publics);
  std::memcpy(d.privates, room.hostPrivate, sizeof d.privates);
  for (const NetAddress& relay : room.relay)
    if (relay.port != 0 && IsIpv4(relay) == IsIpv4(to)) d.relay = relay;
  LobbyReply(s, to, d);
}

// A room this process holds, joined: as lobby_service's own Join, the
// joiner's fields from the store's record.
void JoinHere(LobbyService& s, LobbyRoom& r, const LobbyStoredRoom& room, uint32_t nowMs) {
  r.state = LobbyRoomState::Joined;
  std::memcpy(r.joinerPublic, room.joinerPublic, sizeof r.joinerPublic);
  std::memcpy(r.joinerPrivate, room.joinerPrivate, sizeof r.joinerPrivate);
  r.joinerTicket = room.joinerTicketHash;  // compared by hash: this process never saw the ticket
  r.joinerNet = room.joinerNet;
  r.budget[0] = r.budget[1] = LOBBY_RELAY_BYTES_PER_S;
  r.budgetMs = r.lastHeardMs = nowMs;
  ++s.counts.joined;
  LobbyRoomLog(s, LOG_JOINED, r, "joined by", &r.joinerPublic[0], nowMs);
}

void LookedUp(LobbyService& s, LobbyPending& p, const LobbyStoreAnswer& a, uint32_t nowMs) {
  if (a.result == LobbyStoreResult::Unavailable) return Unavailable(s, p.from, p.d);
  const uint64_t network = LobbyNetwork(p.from);
  if (a.count > LOBBY_LOOKUPS_PER_WINDOW || a.unknown >= LOBBY_UNKNOWN_PER_WINDOW || a.unknownAll >= LOBBY_UNKNOWN_PER_S)
    return LobbySendError(s, p.from, LobbyError::RateLimited, p.d.code, p.d.ticket);
  const bool mine = a.joined && a.room.joinerTicketHash == TicketHash(s, p.d.ticket);
  if (mine) return PeersFromStore(s, a.room, p.from, p.d.ticket);  // a repeated Join: its Peers again
  if (a.result == LobbyStoreResult::None || a.joined || LobbyHolds(a.room.hostPublic, p.from)) {
    LobbyStoreChargeUnknown(*s.store, s.storeWho, CountKey(s, UNKNOWN, network), LOBBY_LIMIT_WINDOW_MS,
                            CountKey(s, UNKNOWN_ALL, 0));
    ++s.counts.unknownCodes;
    return LobbySendError(s, p.from, LobbyError::UnknownCode, p.d.code, p.d.ticket);
  }
  LobbyStoredRoom room = a.room;
  room.joinerPublic[0] = p.from;
  std::memcpy(room.joinerPrivate, p.d.privates, sizeof room.joinerPrivate);
  room.joinerTicketHash = TicketHash(s, p.d.ticket);
  room.joinerNet = network;
  p.stage = JOINING;
  p.room = room;
  ++p.calls;
  LobbyStoreJoin(*s.store, s.storeWho, room, LOBBY_CODE_LIFE_MS, TagOf(s, p));
  (void)nowMs;
}

void Joined(LobbyService& s, LobbyPending& p, const LobbyStoreAnswer& a, uint32_t nowMs) {
  if (a.result == LobbyStoreResult::Unavailable) return Unavailable(s, p.from, p.d);
  if (a.result != LobbyStoreResult::Done) {
    ++s.counts.unknownCodes;  // another joiner was first
    return LobbySendError(s, p.from, LobbyError::UnknownCode, p.d.code, p.d.ticket);
  }
  LobbyRoom* r = LobbyFindRoom(s, p.d.code);
  if (r != nullptr && p.room.owner != s.process) r->state = LobbyRoomState::Free;  // its host re-attached elsewhere
  if (r != nullptr && r->state == LobbyRoomState::Waiting) {
    // This process holds the host: as the lobby alone would (the joiner's
    // ticket itself known here, for its Peers).
    JoinHere(s, *r, p.room, nowMs);
    r->joinerTicket = p.d.ticket;
    LobbySendPeers(s, *r, true);
    LobbySendPeers(s, *r, false);
    return;
  }
  // Another process holds the host: it is told, and tells its host (whose
  // NAT lets in only that process); the joiner is told where the relay is.
  LobbyStoreTell(*s.store, s.storeWho, p.room.owner, p.room.code);
  ++s.counts.joined;
  char what[48 + NET_ADDRESS_TEXT];
  char at[NET_ADDRESS_TEXT];
  FormatAddress(p.from, true, at, sizeof at);
  std::snprintf(what, sizeof what, "joined by %s, its host at another process", at);
  LobbyRoom shown{};
  shown.code = p.room.code;
  LobbyRoomLog(s, LOG_JOINED, shown, what, nullptr, nowMs);
  PeersFromStore(s, p.room, p.from, p.d.ticket);
}

void Told(void* context, uint64_t code) {
  LobbyService& s = *static_cast<LobbyService*>(context);
  LobbyRoom* r = LobbyFindRoom(s, code);
  if (r == nullptr || r->state != LobbyRoomState::Waiting) return;
  LobbyDatagram d{};
  d.code = code;
  d.ticket = r->hostTicket;
  LobbyPending* p = Take(s, r->hostPublic[0], d, TOLD, s.store->nowMs);
  if (p != nullptr && ++p->calls != 0) LobbyStoreLookUp(*s.store, s.storeWho, code, 0, 1, 1, LOBBY_LIMIT_WINDOW_MS, TagOf(s, *p));
}

void HeardOfJoiner(LobbyService& s, const LobbyStoreAnswer& a, uint32_t nowMs) {
  LobbyRoom* r = LobbyFindRoom(s, a.room.code);
  if (a.result != LobbyStoreResult::Done || !a.joined || r == nullptr || r->state != LobbyRoomState::Waiting ||
      a.room.owner != s.process)
    return;
  ++s.counts.told;
  JoinHere(s, *r, a.room, nowMs);
  LobbySendPeers(s, *r, true);  // only this process reaches the host through its NAT
}

void Reattach(LobbyService& s, LobbyPending& p, const LobbyStoreAnswer& a) {
  if (a.result == LobbyStoreResult::Unavailable) return Unavailable(s, p.from, p.d);
  if (a.result != LobbyStoreResult::Done || a.joined || a.room.hostTicketHash != TicketHash(s, p.d.ticket)) {
    ++s.counts.unknownCodes;
    return LobbySendError(s, p.from, LobbyError::UnknownCode, p.d.code, p.d.ticket);
  }
  LobbyStoredRoom room = a.room;
  room.owner = s.process;
  std::memcpy(room.relay, s.publics, sizeof room.relay);
  room.hostPublic[0] = p.from;
  room.hostPublic[1] = NetAddress{};
  p.token = room.token;
  p.code = room.hostNet;  // kept for the local room
  p.stage = MOVING;
  ++p.calls;
  LobbyStoreMove(*s.store, s.storeWho, room, TagOf(s, p));
}

void Moved(LobbyService& s, LobbyPending& p, const LobbyStoreAnswer& a, uint32_t nowMs) {
  if (a.result == LobbyStoreResult::Unavailable) return Unavailable(s, p.from, p.d);
  LobbyRoom* r = a.result == LobbyStoreResult::Done && LobbyFindRoom(s, p.d.code) == nullptr ? LobbyFreeRoom(s) : nullptr;
  if (r == nullptr) return LobbySendError(s, p.from, LobbyError::UnknownCode, p.d.code, p.d.ticket);
  *r = LobbyRoom{};
  r->state = LobbyRoomState::Waiting;
  r->code = p.d.code;
  r->token = p.token;
  r->hostPublic[0] = p.from;
  r->hostTicket = p.d.ticket;
  r->hostNet = p.code;
  r->createdMs = r->lastHostMs = r->lastHeardMs = r->refreshMs = nowMs;
  ++s.counts.reattached;
  LobbyRoomLog(s, LOG_REGISTERED, *r, "re-attached by", &p.from, nowMs);
  LobbySendCode(s, p.from, *r);
}

void Done(void* context, uint32_t tag, const LobbyStoreAnswer& a) {
  LobbyService& s = *static_cast<LobbyService*>(context);
  const uint32_t nowMs = s.store->nowMs;
  if (tag == TAG_KEYS) {
    if (a.result != LobbyStoreResult::Done) return;  // asked again from LobbySharedTick
    s.cookieKey[0] = a.room.code, s.cookieKey[1] = a.room.token;
    s.ticketKey[0] = a.room.hostTicketHash, s.ticketKey[1] = a.room.joinerTicketHash;
    s.codeKey[0] = s.ticketKey[0], s.codeKey[1] = s.ticketKey[1];  // proposed again should the store lose them
    s.keysKnown = true;
    return;
  }
  if (tag >= LOBBY_PENDING || !s.pending[tag].used) return;
  LobbyPending& p = s.pending[tag];
  const uint8_t calls = p.calls;
  if (!p.abandoned) {
    switch (p.stage) {
      case REGISTERING: Registered(s, p, a, nowMs); break;
      case LOOKING_UP: LookedUp(s, p, a, nowMs); break;
      case JOINING: Joined(s, p, a, nowMs); break;
      case TOLD: HeardOfJoiner(s, a, nowMs); break;
      case REATTACHING: Reattach(s, p, a); break;
      case MOVING: Moved(s, p, a, nowMs); break;
      default: break;
    }
  }
  // Freed unless the step sent another call, whose answer comes back here
  // (a Memory store's at once, within the step, and freed by it).
  if (p.calls == calls || p.abandoned) p.used = false;
}

}  // namespace

uint64_t TicketHash(const LobbyService& s, uint64_t ticket) {
  const uint64_t h = KeyedHash(s.ticketKey, 0x7469636b6574ull, ticket, 0);
  return h != 0 ? h : 1;
}

void LobbyUseStore(LobbyService& s, LobbyStore& store, uint64_t process, const NetAddress publics[LOBBY_FAMILIES]) {
  s.store = &store;
  s.process = process;
  std::memcpy(s.publics, publics, sizeof s.publics);
  s.refreshS = LOBBY_SHARED_REFRESH_S;
  s.storeWho = LobbyStoreAttach(store, process, Done, Told, &s);
  s.keysKnown = false;
  s.keysAskedMs = store.nowMs;
  const uint64_t proposed[4] = {s.cookieKey[0], s.cookieKey[1], s.codeKey[0], s.codeKey[1]};
  LobbyStoreKeys(store, s.storeWho, proposed, TAG_KEYS);
}

void LobbySharedRequest(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  LobbyStoreClock(*s.store, nowMs);
  LobbyRoom* r = LobbyFindRoom(s, d.code);
  const bool joiner = r != nullptr && r->state == LobbyRoomState::Joined &&
                      (d.ticket == r->joinerTicket || TicketHash(s, d.ticket) == r->joinerTicket);
  if (d.kind == LobbyKind::Register) {
    // A repeated request, or the host's other family: its room, not counted.
    for (uint32_t i = 0; i < s.cap; ++i) {
      LobbyRoom& room = s.rooms[i];
      if (room.state == LobbyRoomState::Free || room.hostTicket != d.ticket) continue;
      if (!LobbyHolds(room.hostPublic, from) && room.hostPublic[1].port == 0 && IsIpv4(room.hostPublic[0]) != IsIpv4(from))
        room.hostPublic[1] = from;
      if (LobbyHolds(room.hostPublic, from)) return LobbySendCode(s, from, room);
    }
  } else if (d.kind == LobbyKind::Join && joiner) {
    if (!LobbyHolds(r->joinerPublic, from) && r->joinerPublic[1].port == 0 && IsIpv4(r->joinerPublic[0]) != IsIpv4(from))
      r->joinerPublic[1] = from;
    if (LobbyHolds(r->joinerPublic, from)) {
      LobbySendPeers(s, *r, true);
      return LobbySendPeers(s, *r, false);
    }
  } else if (d.kind == LobbyKind::Refresh && (r != nullptr || d.path != 0)) {
    ++s.counts.refreshesIgnored;  // a match's refresh at a process that does not hold the room
    return;
  }
  if (!s.keysKnown || !LobbyStoreUp(*s.store)) return Unavailable(s, from, d);
  // A network holds at most its share of the rooms this process holds, as
  // in a lobby alone: of all the processes' rooms, then, no more either.
  if (d.kind == LobbyKind::Register && LobbyRoomsOf(s, LobbyNetwork(from), LobbyRoomState::Waiting) >= LobbyShare(s))
    return LobbySendError(s, from, LobbyError::RateLimited, 0, d.ticket);
  if (d.kind == LobbyKind::Register && LobbyFreeRoom(s) == nullptr) {
    ++s.counts.full;
    LobbySay(s, LOG_FULL, "the lobby is full: a host refused", nowMs);
    return LobbySendError(s, from, LobbyError::Full, 0, d.ticket);
  }
  LobbyPending* p = Take(s, from, d, d.kind == LobbyKind::Join ? LOOKING_UP : REATTACHING, nowMs);
  if (p == nullptr) return;
  if (d.kind == LobbyKind::Register) return Register(s, *p);
  // A Join, or a Refresh from a host this process does not hold (its own
  // process gone): the room looked up, counted as a look-up.
  const uint64_t network = LobbyNetwork(from);
  ++p->calls;
  LobbyStoreLookUp(*s.store, s.storeWho, d.code, CountKey(s, LOOKUPS, network), CountKey(s, UNKNOWN, network),
                   CountKey(s, UNKNOWN_ALL, 0), LOBBY_LIMIT_WINDOW_MS, TagOf(s, *p));
}

void LobbySharedTick(LobbyService& s, uint32_t nowMs) {
  LobbyStoreClock(*s.store, nowMs);
  // A store back after a stop has lost its keys (nothing on disk): the keys
  // in force are proposed again, and whoever is first sets them for all.
  const bool up = LobbyStoreUp(*s.store);
  if (up && !s.storeWasUp) s.keysKnown = false, s.keysAskedMs = nowMs - KEYS_RETRY_MS;
  s.storeWasUp = up;
  if (!s.keysKnown && nowMs - s.keysAskedMs >= KEYS_RETRY_MS) {
    s.keysAskedMs = nowMs;
    const uint64_t proposed[4] = {s.cookieKey[0], s.cookieKey[1], s.codeKey[0], s.codeKey[1]};
    LobbyStoreKeys(*s.store, s.storeWho, proposed, TAG_KEYS);
  }
  // A store that does not answer (stopped, or a network between): the
  // askers are told at once rather than left to time out.
  for (LobbyPending& p : s.pending) {
    if (!p.used || p.abandoned || nowMs - p.sinceMs < LOBBY_STORE_WAIT_MS) continue;
    p.abandoned = true;
    if (p.stage != TOLD) Unavailable(s, p.from, p.d);
  }
}

LobbyDatagram LobbySharedTicket(const LobbyService& s, const LobbyDatagram& d) {
  LobbyDatagram t = d;
  for (uint32_t i = 0; i < s.cap; ++i) {
    const LobbyRoom& r = s.rooms[i];
    if (r.state == LobbyRoomState::Joined && r.code == d.code && d.ticket != r.hostTicket &&
        d.ticket != r.joinerTicket && TicketHash(s, d.ticket) == r.joinerTicket)
      t.ticket = r.joinerTicket;
  }
  return t;
}
