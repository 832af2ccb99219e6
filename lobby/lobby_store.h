// The lobby's shared store: what several lobby processes keep in common so
// that they act as one lobby (rooms by code, the counts of the rate limits,
// the shared keys), and the messages between them. Two kinds behind one set
// of calls: Memory (a table in this process; the tests, and processes of one
// test program sharing it) and Redis (lobby_store_redis.cpp, Linux only).
// Every call is asynchronous: its answer comes to the store's `done` hook
// with the caller's tag (at once for Memory, from LobbyStorePoll for Redis).
// The store holds no ticket in the clear: a keyed hash of it only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/net_socket.h"
#include "lobby/lobby_wire.h"

enum class LobbyStoreKind : uint8_t { Memory, Redis };

// A room as the store holds it; its bytes are the stored value (every
// process of one lobby runs the same build).
struct LobbyStoredRoom {
  uint64_t code, token;
  uint64_t hostTicketHash, joinerTicketHash;  // TicketHash; 0 for no joiner yet
  uint64_t owner;                             // the process that holds the host, and the relay
  uint64_t hostNet, joinerNet;                // LobbyNetwork of each side's first address
  NetAddress relay[LOBBY_FAMILIES];           // the owner's public addresses, one a family
  NetAddress hostPublic[LOBBY_FAMILIES], hostPrivate[LOBBY_FAMILIES];
  NetAddress joinerPublic[LOBBY_FAMILIES], joinerPrivate[LOBBY_FAMILIES];
};
static_assert(sizeof(LobbyStoredRoom) == 56 + 10 * sizeof(NetAddress), "the stored value's size");

enum class LobbyStoreResult : uint8_t {
  Done,         // written, or found
  Taken,        // the key was there already (a code in use, a room joined)
  None,         // no such room
  Unavailable,  // the store did not answer: "the lobby is unavailable"
};

struct LobbyStoreAnswer {
  LobbyStoreResult result;
  LobbyStoredRoom room;  // Get, LookUp: the room (with its joiner when joined)
  bool joined;
  uint32_t count;        // Register, LookUp: the network's count after this one
  uint32_t unknown;      // LookUp: the network's unknown codes in the window
  uint32_t unknownAll;   // LookUp: unknown codes of all networks this second
};

typedef void (*LobbyStoreDone)(void* context, uint32_t tag, const LobbyStoreAnswer& a);
// A message from another process: the room `code` this process holds was joined there.
typedef void (*LobbyStoreTold)(void* context, uint64_t code);

constexpr uint32_t LOBBY_MEMORY_ENTRIES = 1024;  // rooms and counts a Memory store holds (tests)
constexpr uint32_t LOBBY_MEMORY_TOLD = 64;       // messages a Memory store queues
constexpr int32_t LOBBY_STORE_PROCESSES = 4;     // processes one Memory store serves

struct LobbyMemoryEntry {
  uint64_t key;        // 0: free
  uint32_t expiresMs;
  uint32_t count;
  LobbyStoredRoom room;
};

struct LobbyStoreRedis;  // lobby_store_redis.cpp's own

struct LobbyStore {
  LobbyStoreKind kind;
  // Memory: the table, its clock (the caller's nowMs) and the queued messages.
  LobbyMemoryEntry* entries;  // LOBBY_MEMORY_ENTRIES of them, the caller's
  uint32_t nowMs;
  uint64_t toldTo[LOBBY_MEMORY_TOLD], toldCode[LOBBY_MEMORY_TOLD];
  int32_t toldCount;
  uint64_t keys[4];           // the shared keys, once set (Memory)
  bool keysSet;
  // The processes served, each with its hooks (Memory: up to
  // LOBBY_STORE_PROCESSES; Redis: one).
  uint64_t process[LOBBY_STORE_PROCESSES];
  LobbyStoreDone done[LOBBY_STORE_PROCESSES];
  LobbyStoreTold told[LOBBY_STORE_PROCESSES];
  void* context[LOBBY_STORE_PROCESSES];
  int32_t processCount;
  LobbyStoreRedis* redis;
  uint64_t roundTrips;        // batches sent and answered (the figures)
};

// ---- lobby_store.cpp: every kind ------------------------------------------
// A Memory store over `entries` (LOBBY_MEMORY_ENTRIES, cleared here).
void LobbyMemoryStore(LobbyStore& st, LobbyMemoryEntry* entries);
// A process joins the store: its id, and the hooks its answers and messages
// come to. The index to pass as `who` to every call below.
int32_t LobbyStoreAttach(LobbyStore& st, uint64_t process, LobbyStoreDone done, LobbyStoreTold told, void* context);
// The clock a Memory store's time-to-live runs on (Redis keeps its own).
void LobbyStoreClock(LobbyStore& st, uint32_t nowMs);

// The shared keys: the words proposed are kept unless some process set them
// before; the answer's room.code, token, hostTicketHash and joinerTicketHash
// carry the four in force.
void LobbyStoreKeys(LobbyStore& st, int32_t who, const uint64_t proposed[4], uint32_t tag);
// A new room, unless its code is in use (Taken), kept `lifeMs`; the count of
// `rateKey` raised in the same round trip (a window of `windowMs`).
void LobbyStoreRegister(LobbyStore& st, int32_t who, const LobbyStoredRoom& room, uint32_t lifeMs, uint64_t rateKey,
                        uint32_t windowMs, uint32_t tag);
// A room by code, with the look-up counted by `rateKey`, and the unknown
// codes of the network (`unknownKey`) and of all (`allKey`) read, in one
// round trip; `rateKey` 0 counts nothing.
void LobbyStoreLookUp(LobbyStore& st, int32_t who, uint64_t code, uint64_t rateKey, uint64_t unknownKey,
                      uint64_t allKey, uint32_t windowMs, uint32_t tag);
// An unknown code answered: the network's count and all networks' (a
// second's window) raised; no answer.
void LobbyStoreChargeUnknown(LobbyStore& st, int32_t who, uint64_t unknownKey, uint32_t windowMs, uint64_t allKey);
// The room joined, unless some joiner was first (Taken); `room` carries the
// joiner's fields.
void LobbyStoreJoin(LobbyStore& st, int32_t who, const LobbyStoredRoom& room, uint32_t lifeMs, uint32_t tag);
// A waiting room's record replaced (a host re-attached at another process),
// its time-to-live kept; None when it has gone.
void LobbyStoreMove(LobbyStore& st, int32_t who, const LobbyStoredRoom& room, uint32_t tag);
// The room's keys deleted; no answer.
void LobbyStoreEnd(LobbyStore& st, int32_t who, uint64_t code);
// Tells process `owner` that its room `code` was joined; no answer.
void LobbyStoreTell(LobbyStore& st, int32_t who, uint64_t owner, uint64_t code);
// Delivers what is due: a Memory store's messages, a Redis store's replies
// (and its reconnection). Called from the lobby's loop.
void LobbyStorePoll(LobbyStore& st, uint32_t nowMs);
// True while the store answers (a Memory one always).
bool LobbyStoreUp(const LobbyStore& st);

// ---- lobby_store_redis.cpp (Linux with hiredis), else lobby_store_none.cpp ----
// A Redis store at redis://[:PASSWORD@]HOST[:PORT][/DB]; false with the
// reason for a malformed address (a store that is down is tried again).
bool LobbyRedisStore(LobbyStore& st, const char* url, char* error, size_t errorSize);
void LobbyRedisClose(LobbyStore& st);
// One wait for the lobby's socket (`udp`, -1 for none) and the store's
// connections, at most timeoutMs; the store's replies handled before it returns.
void LobbyRedisWait(LobbyStore& st, int udp, uint32_t timeoutMs);
// What the store said since the last call, for the log ("" for nothing).
const char* LobbyRedisNews(LobbyStore& st);
// The calls above for a Redis store, each one round trip (lobby_store.cpp
// hands them on).
void RedisKeys(LobbyStore& st, const uint64_t proposed[4], uint32_t tag);
void RedisRegister(LobbyStore& st, const LobbyStoredRoom& room, uint32_t lifeMs, uint64_t rateKey, uint32_t windowMs,
                   uint32_t tag);
void RedisLookUp(LobbyStore& st, uint64_t code, uint64_t rateKey, uint64_t unknownKey, uint64_t allKey,
                 uint32_t windowMs, uint32_t tag);
void RedisChargeUnknown(LobbyStore& st, uint64_t unknownKey, uint32_t windowMs, uint64_t allKey);
void RedisJoin(LobbyStore& st, const LobbyStoredRoom& room, uint32_t lifeMs, uint32_t tag);
void RedisMove(LobbyStore& st, const LobbyStoredRoom& room, uint32_t tag);
void RedisEnd(LobbyStore& st, uint64_t code);
void RedisTell(LobbyStore& st, uint64_t owner, uint64_t code);
void RedisPoll(LobbyStore& st, uint32_t nowMs);
bool RedisUp(const LobbyStore& st);
