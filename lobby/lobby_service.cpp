// The lobby: rooms, cookies, rate limits and the relay.
#include "lobby/lobby_service.h"

#include <cstdio>
#include <cstring>

LobbyService lobbyService;

namespace {

uint64_t Rotl(uint64_t v, int b) { return (v << b) | (v >> (64 - b)); }

void SipRound(uint64_t v[4]) {
  v[0] += v[1]; v[1] = Rotl(v[1], 13); v[1] ^= v[0]; v[0] = Rotl(v[0], 32);
  v[2] += v[3]; v[3] = Rotl(v[3], 16); v[3] ^= v[2];
  v[0] += v[3]; v[3] = Rotl(v[3], 21); v[3] ^= v[0];
  v[2] += v[1]; v[1] = Rotl(v[1], 17); v[1] ^= v[2]; v[2] = Rotl(v[2], 32);
}

// SipHash-2-4 of three words: a keyed hash whose outputs do not give the
// key away, so that neither cookies nor codes can be forged or foreseen.
uint64_t KeyedHash(const uint64_t key[2], uint64_t a, uint64_t b, uint64_t c) {
  uint64_t v[4] = {key[0] ^ 0x736f6d6570736575ull, key[1] ^ 0x646f72616e646f6dull, key[0] ^ 0x6c7967656e657261ull,
                   key[1] ^ 0x7465646279746573ull};
  const uint64_t words[4] = {a, b, c, 24ull << 56};
  for (uint64_t m : words) {
    v[3] ^= m;
    SipRound(v);
    SipRound(v);
    v[0] ^= m;
  }
  v[2] ^= 0xff;
  for (int i = 0; i < 4; ++i) SipRound(v);
  return v[0] ^ v[1] ^ v[2] ^ v[3];
}

uint64_t Half(const NetAddress& a, int half) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = v << 8 | a.bytes[half * 8 + i];
  return v;
}

uint64_t CookieAt(const LobbyService& s, const NetAddress& who, uint32_t window) {
  return KeyedHash(s.cookieKey, Half(who, 0), Half(who, 1), static_cast<uint64_t>(who.port) << 32 | window);
}

bool CookieValid(const LobbyService& s, const NetAddress& who, uint64_t cookie, uint32_t nowMs) {
  const uint32_t window = nowMs / LOBBY_COOKIE_WINDOW_MS;
  return cookie == CookieAt(s, who, window) || cookie == CookieAt(s, who, window - 1);
}

void Reply(LobbyService& s, const NetAddress& to, const LobbyDatagram& d) {
  uint8_t out[LOBBY_MAX_DATAGRAM];
  const size_t n = WriteLobbyDatagram(d, out, sizeof out);
  if (n != 0) s.send(s.sendContext, to, out, n);
}

void Log(LobbyService& s, const LobbyRoom& r, const char* what, const NetAddress* who) {
  if (s.log == nullptr) return;
  char code[LOBBY_CODE_TEXT];
  FormatLobbyCode(r.code, code);
  char address[NET_ADDRESS_TEXT] = "";
  if (who != nullptr) FormatAddress(*who, true, address, sizeof address);
  char line[96];
  std::snprintf(line, sizeof line, "room %s %s%s%s", code, what, who != nullptr ? " " : "", address);
  s.log(s.logContext, line);
}

void EndRoom(LobbyService& s, LobbyRoom& r, const char* why) {
  char what[48];
  std::snprintf(what, sizeof what, "ended (%s)", why);
  Log(s, r, what, nullptr);
  ++s.counts.ended;
  r.state = LobbyRoomState::Free;
}

void SendError(LobbyService& s, const NetAddress& to, LobbyError reason, uint64_t code) {
  LobbyDatagram d{};
  d.kind = LobbyKind::Error;
  d.reason = reason;
  d.code = code;
  Reply(s, to, d);
  if (reason == LobbyError::RateLimited) ++s.counts.rateLimited;
  else ++s.counts.unknownCodes;
}

// The asker's entry in the rate table, in a fresh window when its last one
// has passed; the stalest entry is taken over when the table is full.
LobbyLimit& LimitFor(LobbyService& s, const NetAddress& from, uint32_t nowMs) {
  const bool ipv6 = !IsIpv4(from);
  const uint64_t who = ipv6 ? Half(from, 0) : Ipv4Of(from);
  LobbyLimit* pick = &s.limits[0];
  for (LobbyLimit& l : s.limits) {
    if (l.used && l.who == who && l.ipv6 == ipv6) {
      pick = &l;
      break;
    }
    if (!l.used) pick = &l;
    else if (pick->used && nowMs - l.windowMs > nowMs - pick->windowMs) pick = &l;
  }
  if (!pick->used || pick->who != who || pick->ipv6 != ipv6 || nowMs - pick->windowMs >= LOBBY_LIMIT_WINDOW_MS) {
    *pick = LobbyLimit{who, ipv6, nowMs, 0, 0, true};
  }
  return *pick;
}

bool Holds(const NetAddress* side, const NetAddress& a) {
  for (int32_t i = 0; i < LOBBY_FAMILIES; ++i)
    if (side[i].port != 0 && SameAddress(side[i], a)) return true;
  return false;
}

enum class Sender : uint8_t { Other, Known, Second };

// A request with the side's ticket over the family it has no address of
// yet: the side's second address.
Sender TakeSecond(NetAddress* side, uint64_t ticket, const LobbyDatagram& d, const NetAddress& from) {
  if (Holds(side, from)) return Sender::Known;
  if (ticket == 0 || d.ticket != ticket || side[1].port != 0 || IsIpv4(side[0]) == IsIpv4(from)) return Sender::Other;
  side[1] = from;
  return Sender::Second;
}

LobbyRoom* FindRoom(LobbyService& s, uint64_t code) {
  for (uint32_t i = 0; i < s.cap; ++i)
    if (s.rooms[i].state != LobbyRoomState::Free && s.rooms[i].code == code) return &s.rooms[i];
  return nullptr;
}

uint64_t NewCode(LobbyService& s) {
  for (;;) {
    const uint64_t code = KeyedHash(s.codeKey, ++s.codeCounter, 0, 0) % LOBBY_CODE_COUNT;
    if (FindRoom(s, code) == nullptr) return code;
  }
}

// A free room, or the oldest waiting one given up for it; null when every
// room is joined.
LobbyRoom* RoomToFill(LobbyService& s, uint32_t nowMs) {
  LobbyRoom* oldest = nullptr;
  for (uint32_t i = 0; i < s.cap; ++i) {
    LobbyRoom& r = s.rooms[i];
    if (r.state == LobbyRoomState::Free) return &r;
    if (r.state == LobbyRoomState::Waiting && (oldest == nullptr || nowMs - r.createdMs > nowMs - oldest->createdMs))
      oldest = &r;
  }
  if (oldest != nullptr) {
    ++s.counts.dropped;
    EndRoom(s, *oldest, "dropped for a newer room");
  }
  return oldest;
}

// Each side learns the other's addresses, at the address its first request
// came from.
void SendPeers(LobbyService& s, const LobbyRoom& r) {
  LobbyDatagram d{};
  d.kind = LobbyKind::Peers;
  d.code = r.code;
  d.role = 0;
  std::memcpy(d.publics, r.joinerPublic, sizeof d.publics);
  std::memcpy(d.privates, r.joinerPrivate, sizeof d.privates);
  Reply(s, r.hostPublic[0], d);
  d.role = 1;
  std::memcpy(d.publics, r.hostPublic, sizeof d.publics);
  std::memcpy(d.privates, r.hostPrivate, sizeof d.privates);
  Reply(s, r.joinerPublic[0], d);
}

void SendCode(LobbyService& s, const NetAddress& to, const LobbyRoom& r) {
  LobbyDatagram given{};
  given.kind = LobbyKind::CodeGiven;
  given.code = r.code;
  given.refreshS = LOBBY_REFRESH_S;
  Reply(s, to, given);
}

void Register(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  LobbyLimit& limit = LimitFor(s, from, nowMs);
  if (limit.registrations >= LOBBY_REGISTRATIONS_PER_WINDOW) {
    SendError(s, from, LobbyError::RateLimited, 0);
    return;
  }
  ++limit.registrations;
  LobbyRoom* r = nullptr;
  // A repeated request keeps its room; one over the other family with the
  // room's ticket tells it the host's address there, even when it comes
  // after the joiner (that family was slower).
  Sender sender = Sender::Other;
  for (uint32_t i = 0; i < s.cap && r == nullptr; ++i) {
    LobbyRoom& room = s.rooms[i];
    if (room.state == LobbyRoomState::Free) continue;
    sender = TakeSecond(room.hostPublic, room.hostTicket, d, from);
    if (sender != Sender::Other) r = &room;
  }
  if (r == nullptr) {
    r = RoomToFill(s, nowMs);
    if (r == nullptr) {
      SendError(s, from, LobbyError::RateLimited, 0);
      return;
    }
    *r = LobbyRoom{};
    r->state = LobbyRoomState::Waiting;
    r->code = NewCode(s);
    r->hostPublic[0] = from;
    r->hostTicket = d.ticket;
    r->createdMs = nowMs;
    ++s.counts.registered;
    Log(s, *r, "registered by", &from);
  } else if (sender == Sender::Second) {
    Log(s, *r, "host also at", &from);
  }
  std::memcpy(r->hostPrivate, d.privates, sizeof r->hostPrivate);
  r->lastHostMs = r->lastHeardMs = nowMs;
  SendCode(s, from, *r);
  if (r->state == LobbyRoomState::Joined && sender == Sender::Second) SendPeers(s, *r);
}

void Join(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  LobbyLimit& limit = LimitFor(s, from, nowMs);
  if (limit.lookups >= LOBBY_LOOKUPS_PER_WINDOW) {
    SendError(s, from, LobbyError::RateLimited, d.code);
    return;
  }
  ++limit.lookups;
  LobbyRoom* r = FindRoom(s, d.code);
  const Sender sender = r == nullptr || r->state != LobbyRoomState::Joined
                            ? Sender::Other
                            : TakeSecond(r->joinerPublic, r->joinerTicket, d, from);
  if (r == nullptr || Holds(r->hostPublic, from) || (r->state == LobbyRoomState::Joined && sender == Sender::Other)) {
    SendError(s, from, LobbyError::UnknownCode, d.code);
    return;
  }
  if (sender == Sender::Second) Log(s, *r, "joiner also at", &from);
  if (r->state == LobbyRoomState::Waiting && nowMs - r->createdMs >= LOBBY_CODE_LIFE_MS) {
    ++s.counts.expired;
    EndRoom(s, *r, "expired");
    SendError(s, from, LobbyError::Expired, d.code);
    return;
  }
  if (r->state == LobbyRoomState::Waiting) {
    r->state = LobbyRoomState::Joined;
    r->joinerPublic[0] = from;
    r->joinerTicket = d.ticket;
    r->budget[0] = r->budget[1] = LOBBY_RELAY_BYTES_PER_S;
    r->budgetMs = nowMs;
    ++s.counts.joined;
    Log(s, *r, "joined by", &from);
  }
  std::memcpy(r->joinerPrivate, d.privates, sizeof r->joinerPrivate);
  r->lastHeardMs = nowMs;
  SendPeers(s, *r);
}

void Refresh(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs) {
  LobbyRoom* r = FindRoom(s, d.code);
  if (r == nullptr || !Holds(r->hostPublic, from)) {
    SendError(s, from, LobbyError::UnknownCode, d.code);
    return;
  }
  r->lastHostMs = r->lastHeardMs = nowMs;
  if (r->state == LobbyRoomState::Waiting) {
    SendCode(s, from, *r);
    return;
  }
  if (d.path == 1 && !r->direct) {
    r->direct = true;
    ++s.counts.direct;
    Log(s, *r, "direct", nullptr);
  }
  if (d.path == 0) SendPeers(s, *r);  // the host still has no path: its Peers may have been lost
}

// A datagram that is not the lobby's: forwarded when it comes from one of a
// joined room's two addresses, to the other, within the room's budget.
void Relay(LobbyService& s, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs) {
  for (uint32_t i = 0; i < s.cap; ++i) {
    LobbyRoom& r = s.rooms[i];
    if (r.state != LobbyRoomState::Joined) continue;
    const int way = Holds(r.hostPublic, from) ? 0 : Holds(r.joinerPublic, from) ? 1 : -1;
    if (way < 0) continue;
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
      Log(s, r, "relayed", nullptr);
    }
    ++s.counts.relayedDatagrams;
    s.counts.relayedBytes += size;
    s.send(s.sendContext, way == 0 ? r.joinerPublic[0] : r.hostPublic[0], data, size);
    return;
  }
  ++s.counts.strangers;
}

}  // namespace

void LobbyBegin(LobbyService& s, uint32_t cap, const uint64_t secret[4], LobbySend send, void* sendContext,
                LobbyLog log, void* logContext) {
  std::memset(&s, 0, sizeof s);
  s.cap = cap < 1 ? 1 : cap > LOBBY_ROOM_SLOTS ? LOBBY_ROOM_SLOTS : cap;
  s.cookieKey[0] = secret[0];
  s.cookieKey[1] = secret[1];
  s.codeKey[0] = secret[2];
  s.codeKey[1] = secret[3];
  s.send = send;
  s.sendContext = sendContext;
  s.log = log;
  s.logContext = logContext;
}

uint64_t LobbyCookie(const LobbyService& s, const NetAddress& who, uint32_t nowMs) {
  return CookieAt(s, who, nowMs / LOBBY_COOKIE_WINDOW_MS);
}

void LobbyReceive(LobbyService& s, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs) {
  if (!IsLobbyDatagram(data, size)) {
    Relay(s, from, data, size, nowMs);
    return;
  }
  LobbyDatagram d;
  if (ReadLobbyDatagram(data, size, d) != LobbyReadResult::Ok) {
    ++s.counts.badDatagrams;
    return;
  }
  switch (d.kind) {
    case LobbyKind::Register:
    case LobbyKind::Join:
      // No state and nothing larger than the request for an address that
      // has not shown it receives what is sent to it.
      if (!CookieValid(s, from, d.cookie, nowMs)) {
        LobbyDatagram challenge{};
        challenge.kind = LobbyKind::Challenge;
        challenge.cookie = LobbyCookie(s, from, nowMs);
        Reply(s, from, challenge);
        ++s.counts.challenges;
        return;
      }
      if (d.kind == LobbyKind::Register) Register(s, from, d, nowMs);
      else Join(s, from, d, nowMs);
      return;
    case LobbyKind::Refresh:
      Refresh(s, from, d, nowMs);
      return;
    default:  // the lobby's own replies, sent back at it
      ++s.counts.badDatagrams;
      return;
  }
}

void LobbyTick(LobbyService& s, uint32_t nowMs) {
  for (uint32_t i = 0; i < s.cap; ++i) {
    LobbyRoom& r = s.rooms[i];
    if (r.state == LobbyRoomState::Waiting && nowMs - r.createdMs >= LOBBY_CODE_LIFE_MS) {
      ++s.counts.expired;
      EndRoom(s, r, "expired");
    } else if (r.state == LobbyRoomState::Waiting && nowMs - r.lastHostMs >= LOBBY_HOST_SILENCE_MS) {
      EndRoom(s, r, "host silent");
    } else if (r.state == LobbyRoomState::Joined && nowMs - r.lastHeardMs >= LOBBY_ROOM_SILENCE_MS) {
      EndRoom(s, r, "silent");
    }
  }
}

void LobbySummary(const LobbyService& s, char* text, size_t size) {
  const LobbyCounts& c = s.counts;
  std::snprintf(text, size,
                "lobby summary: %u registered, %u joined, %u direct, %u relayed, %u ended (%u expired, %u dropped); "
                "%llu datagrams relayed (%llu bytes), %llu over the cap, %u from strangers; %u challenges, "
                "%u rate-limited, %u unknown codes, %u bad datagrams",
                c.registered, c.joined, c.direct, c.relayed, c.ended, c.expired, c.dropped,
                static_cast<unsigned long long>(c.relayedDatagrams), static_cast<unsigned long long>(c.relayedBytes),
                static_cast<unsigned long long>(c.overCap), c.strangers, c.challenges, c.rateLimited, c.unknownCodes,
                c.badDatagrams);
}
