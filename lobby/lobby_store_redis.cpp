// The Redis store (Linux only, a platform file like net_socket_posix.cpp):
// hiredis's asynchronous interface on the lobby's own poll loop, so that no
// datagram of a running match ever waits on Redis. Two connections: one for
// the commands (each call one MULTI/EXEC batch, one round trip) and one
// subscribed to this process's channel. A store that goes away answers
// Unavailable at once, is said once, and is connected again every 500 ms.
#include <hiredis/async.h>
#include <hiredis/hiredis.h>
#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lobby/lobby_store.h"

struct LobbyStoreRedis {
  char host[128];
  int port;
  char password[128];
  int db;
  redisAsyncContext* link[2];   // [0] commands, [1] this process's channel
  bool reading[2], writing[2];
  bool connected[2];
  bool subscribed;
  bool up, saidDown, saidOnce;
  uint32_t retryMs;
  char news[320];
};

namespace {

enum Op : uint32_t { KEYS = 1, REGISTER, LOOKUP, JOIN, MOVE };
constexpr uint32_t RETRY_MS = 500;

LobbyStoreRedis* R(const LobbyStore& st) { return st.redis; }

void Say(LobbyStore& st, const char* text) { std::snprintf(st.redis->news, sizeof st.redis->news, "%s", text); }

void SetDown(LobbyStore& st) {
  LobbyStoreRedis& r = *st.redis;
  if (r.up || !r.saidDown) {
    char text[sizeof r.news];
    std::snprintf(text, sizeof text, "the store at %s:%d is unavailable: players are told the lobby is unavailable", r.host, r.port);
    Say(st, text);
  }
  r.up = false;
  r.saidDown = true;
}

// The event hooks hiredis calls, one set a connection: what the loop's
// poll waits for.
template <int I>
void SetHooks(redisAsyncContext* ac) {
  ac->ev.addRead = [](void* p) { static_cast<LobbyStore*>(p)->redis->reading[I] = true; };
  ac->ev.delRead = [](void* p) { static_cast<LobbyStore*>(p)->redis->reading[I] = false; };
  ac->ev.addWrite = [](void* p) { static_cast<LobbyStore*>(p)->redis->writing[I] = true; };
  ac->ev.delWrite = [](void* p) { static_cast<LobbyStore*>(p)->redis->writing[I] = false; };
}

// Which connection `ac` is; -1 for one already given up (hiredis may say
// both that its connect failed and that it is gone).
int LinkOf(const LobbyStore& st, const redisAsyncContext* ac) {
  return ac == st.redis->link[0] ? 0 : ac == st.redis->link[1] ? 1 : -1;
}

void Gone(const redisAsyncContext* ac, int) {
  LobbyStore& st = *static_cast<LobbyStore*>(ac->data);
  const int i = LinkOf(st, ac);
  if (i < 0) return;
  st.redis->link[i] = nullptr;  // hiredis frees it
  st.redis->connected[i] = false;
  st.redis->reading[i] = st.redis->writing[i] = false;
  if (i == 1) st.redis->subscribed = false;
  SetDown(st);
  st.redis->retryMs = st.nowMs;
}

void Connected(const redisAsyncContext* ac, int status) {
  LobbyStore& st = *static_cast<LobbyStore*>(ac->data);
  if (status != REDIS_OK) return Gone(ac, status);
  const int i = LinkOf(st, ac);
  if (i < 0) return;
  st.redis->connected[i] = true;
  if (i == 0 && st.redis->subscribed) st.redis->up = true;
}

uint32_t Number(const redisReply* r) {
  if (r == nullptr) return 0;
  if (r->type == REDIS_REPLY_INTEGER) return r->integer > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<uint32_t>(r->integer);
  if (r->type == REDIS_REPLY_STRING) return static_cast<uint32_t>(std::strtoul(r->str, nullptr, 10));
  return 0;
}

bool Room(const redisReply* r, LobbyStoredRoom& room) {
  if (r == nullptr || r->type != REDIS_REPLY_STRING || r->len != sizeof room) return false;
  std::memcpy(&room, r->str, sizeof room);
  return true;
}

bool Ok(const redisReply* r) { return r != nullptr && r->type == REDIS_REPLY_STATUS; }

// Every batch's answer: EXEC's array (or one command's reply), by its op.
void Answered(redisAsyncContext* ac, void* reply, void* privdata) {
  LobbyStore& st = *static_cast<LobbyStore*>(ac->data);
  const uintptr_t v = reinterpret_cast<uintptr_t>(privdata);
  const uint32_t op = static_cast<uint32_t>(v >> 32), tag = static_cast<uint32_t>(v);
  const redisReply* r = static_cast<const redisReply*>(reply);
  LobbyStoreAnswer a{};
  a.result = LobbyStoreResult::Unavailable;
  const bool array = r != nullptr && r->type == REDIS_REPLY_ARRAY;
  if (r != nullptr && r->type == REDIS_REPLY_ERROR) {
    Say(st, r->str);  // a refused command (no password, out of memory): said, and Unavailable
  } else if (op == KEYS && array && r->elements == 2 && r->element[1]->type == REDIS_REPLY_STRING &&
             r->element[1]->len == 32) {
    a.result = LobbyStoreResult::Done;
    uint64_t k[4];
    std::memcpy(k, r->element[1]->str, sizeof k);
    a.room.code = k[0], a.room.token = k[1], a.room.hostTicketHash = k[2], a.room.joinerTicketHash = k[3];
  } else if (op == REGISTER && array && r->elements == 3) {
    a.count = Number(r->element[1]);
    a.result = Ok(r->element[2]) ? LobbyStoreResult::Done : LobbyStoreResult::Taken;
  } else if (op == LOOKUP && array && r->elements >= 4) {
    const size_t at = r->elements - 4;  // the count's two replies first, when counted
    a.count = at != 0 ? Number(r->element[1]) : 0;
    a.unknown = Number(r->element[at]);
    a.unknownAll = Number(r->element[at + 1]);
    a.joined = Room(r->element[at + 2], a.room);
    a.result = a.joined || Room(r->element[at + 3], a.room) ? LobbyStoreResult::Done : LobbyStoreResult::None;
  } else if (op == JOIN && r != nullptr) {
    a.result = Ok(r) ? LobbyStoreResult::Done : LobbyStoreResult::Taken;
  } else if (op == MOVE && r != nullptr) {
    a.result = Ok(r) ? LobbyStoreResult::Done : LobbyStoreResult::None;
  }
  if (op != 0 && st.done[0] != nullptr) st.done[0](st.context[0], tag, a);
}

// A message on this process's channel: ["message", channel, code].
void Heard(redisAsyncContext* ac, void* reply, void*) {
  LobbyStore& st = *static_cast<LobbyStore*>(ac->data);
  const redisReply* r = static_cast<const redisReply*>(reply);
  if (r == nullptr || r->type != REDIS_REPLY_ARRAY || r->elements != 3) return;
  if (r->element[0]->type != REDIS_REPLY_STRING) return;
  if (std::strcmp(r->element[0]->str, "subscribe") == 0) {
    st.redis->subscribed = true;
    st.redis->up = st.redis->connected[0];
    if (st.redis->saidDown || !st.redis->saidOnce) {
      char text[sizeof st.redis->news];
      std::snprintf(text, sizeof text, "the store at %s:%d answers", st.redis->host, st.redis->port);
      Say(st, text);
    }
    st.redis->saidDown = false;
    st.redis->saidOnce = true;
    return;
  }
  if (std::strcmp(r->element[0]->str, "message") != 0 || r->element[2]->type != REDIS_REPLY_STRING) return;
  if (st.told[0] != nullptr) st.told[0](st.context[0], std::strtoull(r->element[2]->str, nullptr, 10));
}

void Connect(LobbyStore& st) {
  LobbyStoreRedis& r = *st.redis;
  for (int i = 0; i < 2; ++i) {
    if (r.link[i] != nullptr) continue;
    redisAsyncContext* ac = redisAsyncConnect(r.host, r.port);
    if (ac == nullptr) return SetDown(st);
    if (ac->err != 0) {
      redisAsyncFree(ac);
      return SetDown(st);
    }
    ac->data = &st;
    r.link[i] = ac;
    r.reading[i] = r.writing[i] = false;
    if (i == 0) SetHooks<0>(ac);
    else SetHooks<1>(ac);
    ac->ev.data = &st;
    redisAsyncSetConnectCallback(ac, Connected);
    redisAsyncSetDisconnectCallback(ac, Gone);
    if (r.password[0] != '\0') redisAsyncCommand(ac, nullptr, nullptr, "AUTH %s", r.password);
    if (i == 0 && r.db != 0) redisAsyncCommand(ac, nullptr, nullptr, "SELECT %d", r.db);
    if (i == 1) redisAsyncCommand(ac, Heard, nullptr, "SUBSCRIBE bt:to:%016llx", static_cast<unsigned long long>(st.process[0]));
  }
}

void* Tag(uint32_t op, uint32_t tag) { return reinterpret_cast<void*>(static_cast<uintptr_t>(op) << 32 | tag); }

// False when the batch cannot be sent: the caller's answer is Unavailable now.
bool Usable(LobbyStore& st, uint32_t tag) {
  ++st.roundTrips;
  if (st.redis->up && st.redis->link[0] != nullptr) return true;
  if (tag != 0xFFFFFFFFu && st.done[0] != nullptr) {
    LobbyStoreAnswer a{};
    a.result = LobbyStoreResult::Unavailable;
    st.done[0](st.context[0], tag, a);
  }
  return false;
}

constexpr uint32_t NO_ANSWER = 0xFFFFFFFFu;
using ull = unsigned long long;

// A count over a window that begins with its first: the same for every
// process, whatever its own clock (two replies: the SET's, then the count).
void Count(redisAsyncContext* ac, uint64_t key, uint32_t windowMs) {
  redisAsyncCommand(ac, nullptr, nullptr, "SET bt:n:%016llx 0 NX PX %u", static_cast<ull>(key), windowMs);
  redisAsyncCommand(ac, nullptr, nullptr, "INCR bt:n:%016llx", static_cast<ull>(key));
}

}  // namespace

bool LobbyRedisStore(LobbyStore& st, const char* url, char* error, size_t errorSize) {
  st = LobbyStore{};
  st.kind = LobbyStoreKind::Redis;
  st.redis = new LobbyStoreRedis{};  // freed by LobbyRedisClose
  LobbyStoreRedis& record = *st.redis;
  record.port = 6379;
  const char* p = std::strncmp(url, "redis://", 8) == 0 ? url + 8 : nullptr;
  if (p == nullptr) {
    std::snprintf(error, errorSize, "a store is redis://[:PASSWORD@]HOST[:PORT][/DB]: %s", url);
    return false;
  }
  const char* at = std::strrchr(p, '@');
  if (at != nullptr) {
    const char* from = *p == ':' ? p + 1 : p;
    const size_t n = static_cast<size_t>(at - from);
    if (n >= sizeof record.password) return std::snprintf(error, errorSize, "the store's password is too long"), false;
    std::memcpy(record.password, from, n);
    p = at + 1;
  }
  size_t hostLength = std::strcspn(p, ":/");
  if (*p == '[') hostLength = std::strcspn(p, "]") + 1;
  if (hostLength == 0 || hostLength >= sizeof record.host)
    return std::snprintf(error, errorSize, "no host in the store's address: %s", url), false;
  const bool bracketed = *p == '[';
  std::memcpy(record.host, p + (bracketed ? 1 : 0), hostLength - (bracketed ? 2 : 0));
  p += hostLength;
  char* end = nullptr;
  if (*p == ':') {
    const long port = std::strtol(p + 1, &end, 10);
    if (end == p + 1 || port < 1 || port > 65535) return std::snprintf(error, errorSize, "a bad port in %s", url), false;
    record.port = static_cast<int>(port);
    p = end;
  }
  if (*p == '/') {
    const long db = std::strtol(p + 1, &end, 10);
    if (end == p + 1 || db < 0 || db > 10000) return std::snprintf(error, errorSize, "a bad database in %s", url), false;
    record.db = static_cast<int>(db);
    p = end;
  }
  if (*p != '\0') return std::snprintf(error, errorSize, "a bad store address: %s", url), false;
  return true;
}

void LobbyRedisClose(LobbyStore& st) {
  if (st.redis == nullptr) return;
  for (redisAsyncContext*& ac : st.redis->link) {
    if (ac == nullptr) continue;
    redisAsyncContext* was = ac;
    redisAsyncSetDisconnectCallback(was, nullptr);
    ac = nullptr;
    redisAsyncFree(was);  // the callbacks still waiting are answered with no reply
  }
  delete st.redis;
  st.redis = nullptr;
}

const char* LobbyRedisNews(LobbyStore& st) {
  static char said[sizeof st.redis->news];
  std::memcpy(said, st.redis->news, sizeof said);
  st.redis->news[0] = '\0';
  return said;
}

// One wait for the lobby's socket and the store's two connections; the
// store's due work done before it returns.
void LobbyRedisWait(LobbyStore& st, int udp, uint32_t timeoutMs) {
  LobbyStoreRedis& r = *st.redis;
  pollfd fds[3];
  int n = 0;
  if (udp >= 0) fds[n++] = {udp, POLLIN, 0};
  int linkAt[2] = {-1, -1};
  for (int i = 0; i < 2; ++i) {
    if (r.link[i] == nullptr) continue;
    linkAt[i] = n;
    // Until connected, the connection's first write event tells it is.
    const bool write = r.writing[i] || !r.connected[i];
    fds[n++] = {r.link[i]->c.fd, static_cast<short>((r.reading[i] ? POLLIN : 0) | (write ? POLLOUT : 0)), 0};
  }
  poll(fds, static_cast<nfds_t>(n), static_cast<int>(timeoutMs));
  for (int i = 0; i < 2; ++i) {
    if (linkAt[i] < 0 || r.link[i] == nullptr) continue;
    const short got = fds[linkAt[i]].revents;
    if ((got & POLLOUT) != 0 && r.link[i] != nullptr) redisAsyncHandleWrite(r.link[i]);
    if ((got & (POLLIN | POLLERR | POLLHUP)) != 0 && r.link[i] != nullptr) redisAsyncHandleRead(r.link[i]);
  }
}

void RedisPoll(LobbyStore& st, uint32_t nowMs) {
  st.nowMs = nowMs;
  LobbyStoreRedis& r = *st.redis;
  if ((r.link[0] == nullptr || r.link[1] == nullptr) && nowMs - r.retryMs >= RETRY_MS) {
    r.retryMs = nowMs;
    Connect(st);
  }
  LobbyRedisWait(st, -1, 0);
}

bool RedisUp(const LobbyStore& st) { return R(st)->up; }

void RedisKeys(LobbyStore& st, const uint64_t proposed[4], uint32_t tag) {
  if (!Usable(st, tag)) return;
  redisAsyncContext* ac = st.redis->link[0];
  redisAsyncCommand(ac, nullptr, nullptr, "MULTI");
  redisAsyncCommand(ac, nullptr, nullptr, "SET bt:keys %b NX", proposed, static_cast<size_t>(32));
  redisAsyncCommand(ac, nullptr, nullptr, "GET bt:keys");
  redisAsyncCommand(ac, Answered, Tag(KEYS, tag), "EXEC");
}

void RedisRegister(LobbyStore& st, const LobbyStoredRoom& room, uint32_t lifeMs, uint64_t rateKey, uint32_t windowMs,
                   uint32_t tag) {
  if (!Usable(st, tag)) return;
  redisAsyncContext* ac = st.redis->link[0];
  redisAsyncCommand(ac, nullptr, nullptr, "MULTI");
  Count(ac, rateKey, windowMs);
  redisAsyncCommand(ac, nullptr, nullptr, "SET bt:room:%llu %b NX PX %u", static_cast<ull>(room.code), &room,
                    sizeof room, lifeMs);
  redisAsyncCommand(ac, Answered, Tag(REGISTER, tag), "EXEC");
}

void RedisLookUp(LobbyStore& st, uint64_t code, uint64_t rateKey, uint64_t unknownKey, uint64_t allKey,
                 uint32_t windowMs, uint32_t tag) {
  if (!Usable(st, tag)) return;
  redisAsyncContext* ac = st.redis->link[0];
  redisAsyncCommand(ac, nullptr, nullptr, "MULTI");
  if (rateKey != 0) {
    Count(ac, rateKey, windowMs);
  }
  redisAsyncCommand(ac, nullptr, nullptr, "GET bt:n:%016llx", static_cast<ull>(unknownKey));
  redisAsyncCommand(ac, nullptr, nullptr, "GET bt:n:%016llx", static_cast<ull>(allKey));
  redisAsyncCommand(ac, nullptr, nullptr, "GET bt:join:%llu", static_cast<ull>(code));
  redisAsyncCommand(ac, nullptr, nullptr, "GET bt:room:%llu", static_cast<ull>(code));
  redisAsyncCommand(ac, Answered, Tag(LOOKUP, tag), "EXEC");
}

void RedisChargeUnknown(LobbyStore& st, uint64_t unknownKey, uint32_t windowMs, uint64_t allKey) {
  if (!Usable(st, NO_ANSWER)) return;
  redisAsyncContext* ac = st.redis->link[0];
  redisAsyncCommand(ac, nullptr, nullptr, "MULTI");
  Count(ac, unknownKey, windowMs);
  Count(ac, allKey, 1000);
  redisAsyncCommand(ac, nullptr, nullptr, "EXEC");
}

void RedisJoin(LobbyStore& st, const LobbyStoredRoom& room, uint32_t lifeMs, uint32_t tag) {
  if (!Usable(st, tag)) return;
  redisAsyncCommand(st.redis->link[0], Answered, Tag(JOIN, tag), "SET bt:join:%llu %b NX PX %u",
                    static_cast<ull>(room.code), &room, sizeof room, lifeMs);
}

void RedisMove(LobbyStore& st, const LobbyStoredRoom& room, uint32_t tag) {
  if (!Usable(st, tag)) return;
  redisAsyncCommand(st.redis->link[0], Answered, Tag(MOVE, tag), "SET bt:room:%llu %b XX KEEPTTL",
                    static_cast<ull>(room.code), &room, sizeof room);
}

void RedisEnd(LobbyStore& st, uint64_t code) {
  if (!Usable(st, NO_ANSWER)) return;
  redisAsyncCommand(st.redis->link[0], nullptr, nullptr, "DEL bt:room:%llu bt:join:%llu", static_cast<ull>(code),
                    static_cast<ull>(code));
}

void RedisTell(LobbyStore& st, uint64_t owner, uint64_t code) {
  if (!Usable(st, NO_ANSWER)) return;
  redisAsyncCommand(st.redis->link[0], nullptr, nullptr, "PUBLISH bt:to:%016llx %llu", static_cast<ull>(owner),
                    static_cast<ull>(code));
}
