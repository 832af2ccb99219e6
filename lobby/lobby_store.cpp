// The shared store's calls, handed to the kind in use: the Memory store's
// table here (keys with a time-to-live on the caller's clock, answered at
// once), the Redis one in lobby_store_redis.cpp.
#include "lobby/lobby_store.h"

#include <cstring>
#include <initializer_list>

namespace {

// A room's two keys: its record, and its joiner's (written once, by the first).
uint64_t RoomKey(uint64_t code) { return code << 2 | 1; }
uint64_t JoinKey(uint64_t code) { return code << 2 | 2; }

bool Live(const LobbyStore& st, const LobbyMemoryEntry& e) {
  return e.key != 0 && static_cast<int32_t>(e.expiresMs - st.nowMs) > 0;
}

LobbyMemoryEntry* Find(LobbyStore& st, uint64_t key) {
  for (uint32_t i = 0; i < LOBBY_MEMORY_ENTRIES; ++i)
    if (st.entries[i].key == key && Live(st, st.entries[i])) return &st.entries[i];
  return nullptr;
}

// A new entry; null when the table is full of live ones.
LobbyMemoryEntry* Make(LobbyStore& st, uint64_t key, uint32_t lifeMs) {
  for (uint32_t i = 0; i < LOBBY_MEMORY_ENTRIES; ++i) {
    LobbyMemoryEntry& e = st.entries[i];
    if (Live(st, e)) continue;
    e = LobbyMemoryEntry{};
    e.key = key;
    e.expiresMs = st.nowMs + lifeMs;
    return &e;
  }
  return nullptr;
}

uint32_t CountUp(LobbyStore& st, uint64_t key, uint32_t windowMs) {
  LobbyMemoryEntry* e = Find(st, key);
  if (e == nullptr) e = Make(st, key, windowMs);
  return e == nullptr ? 0xFFFFFFFFu : ++e->count;  // a full table counts everyone out
}

uint32_t CountOf(LobbyStore& st, uint64_t key) {
  const LobbyMemoryEntry* e = key != 0 ? Find(st, key) : nullptr;
  return e != nullptr ? e->count : 0;
}

void Answer(LobbyStore& st, int32_t who, uint32_t tag, const LobbyStoreAnswer& a) {
  ++st.roundTrips;
  st.done[who](st.context[who], tag, a);
}

LobbyStoreAnswer With(LobbyStoreResult result) {
  LobbyStoreAnswer a{};
  a.result = result;
  return a;
}

}  // namespace

void LobbyMemoryStore(LobbyStore& st, LobbyMemoryEntry* entries) {
  st = LobbyStore{};
  st.kind = LobbyStoreKind::Memory;
  st.entries = entries;
  std::memset(entries, 0, sizeof(LobbyMemoryEntry) * LOBBY_MEMORY_ENTRIES);
}

int32_t LobbyStoreAttach(LobbyStore& st, uint64_t process, LobbyStoreDone done, LobbyStoreTold told, void* context) {
  if (st.processCount >= LOBBY_STORE_PROCESSES) return -1;
  const int32_t i = st.processCount++;
  st.process[i] = process;
  st.done[i] = done;
  st.told[i] = told;
  st.context[i] = context;
  return i;
}

void LobbyStoreClock(LobbyStore& st, uint32_t nowMs) { st.nowMs = nowMs; }

void LobbyStoreKeys(LobbyStore& st, int32_t who, const uint64_t proposed[4], uint32_t tag) {
  if (st.kind == LobbyStoreKind::Redis) return RedisKeys(st, proposed, tag);
  if (!st.keysSet) std::memcpy(st.keys, proposed, sizeof st.keys);
  st.keysSet = true;
  LobbyStoreAnswer a = With(LobbyStoreResult::Done);
  a.room.code = st.keys[0];
  a.room.token = st.keys[1];
  a.room.hostTicketHash = st.keys[2];
  a.room.joinerTicketHash = st.keys[3];
  Answer(st, who, tag, a);
}

void LobbyStoreRegister(LobbyStore& st, int32_t who, const LobbyStoredRoom& room, uint32_t lifeMs, uint64_t rateKey,
                        uint32_t windowMs, uint32_t tag) {
  if (st.kind == LobbyStoreKind::Redis) return RedisRegister(st, room, lifeMs, rateKey, windowMs, tag);
  LobbyStoreAnswer a = With(LobbyStoreResult::Done);
  a.count = CountUp(st, rateKey, windowMs);
  LobbyMemoryEntry* e = Find(st, RoomKey(room.code));
  if (e != nullptr) {
    a.result = LobbyStoreResult::Taken;
  } else if ((e = Make(st, RoomKey(room.code), lifeMs)) == nullptr) {
    a.result = LobbyStoreResult::Unavailable;  // Redis out of memory answers so too
  } else {
    e->room = room;
  }
  Answer(st, who, tag, a);
}

void LobbyStoreLookUp(LobbyStore& st, int32_t who, uint64_t code, uint64_t rateKey, uint64_t unknownKey,
                      uint64_t allKey, uint32_t windowMs, uint32_t tag) {
  if (st.kind == LobbyStoreKind::Redis) return RedisLookUp(st, code, rateKey, unknownKey, allKey, windowMs, tag);
  LobbyStoreAnswer a = With(LobbyStoreResult::None);
  if (rateKey != 0) a.count = CountUp(st, rateKey, windowMs);
  a.unknown = CountOf(st, unknownKey);
  a.unknownAll = CountOf(st, allKey);
  const LobbyMemoryEntry* joined = Find(st, JoinKey(code));
  const LobbyMemoryEntry* e = joined != nullptr ? joined : Find(st, RoomKey(code));
  if (e != nullptr) {
    a.result = LobbyStoreResult::Done;
    a.room = e->room;
    a.joined = joined != nullptr;
  }
  Answer(st, who, tag, a);
}

void LobbyStoreChargeUnknown(LobbyStore& st, int32_t, uint64_t unknownKey, uint32_t windowMs, uint64_t allKey) {
  if (st.kind == LobbyStoreKind::Redis) return RedisChargeUnknown(st, unknownKey, windowMs, allKey);
  CountUp(st, unknownKey, windowMs);
  CountUp(st, allKey, 1000);
}

void LobbyStoreJoin(LobbyStore& st, int32_t who, const LobbyStoredRoom& room, uint32_t lifeMs, uint32_t tag) {
  if (st.kind == LobbyStoreKind::Redis) return RedisJoin(st, room, lifeMs, tag);
  LobbyMemoryEntry* e = nullptr;
  LobbyStoreResult result = LobbyStoreResult::Done;
  if (Find(st, JoinKey(room.code)) != nullptr) result = LobbyStoreResult::Taken;
  else if ((e = Make(st, JoinKey(room.code), lifeMs)) == nullptr) result = LobbyStoreResult::Unavailable;
  else e->room = room;
  Answer(st, who, tag, With(result));
}

void LobbyStoreMove(LobbyStore& st, int32_t who, const LobbyStoredRoom& room, uint32_t tag) {
  if (st.kind == LobbyStoreKind::Redis) return RedisMove(st, room, tag);
  LobbyMemoryEntry* e = Find(st, RoomKey(room.code));
  if (e != nullptr) e->room = room;
  Answer(st, who, tag, With(e != nullptr ? LobbyStoreResult::Done : LobbyStoreResult::None));
}

void LobbyStoreEnd(LobbyStore& st, int32_t, uint64_t code) {
  if (st.kind == LobbyStoreKind::Redis) return RedisEnd(st, code);
  for (const uint64_t key : {RoomKey(code), JoinKey(code)}) {
    LobbyMemoryEntry* e = Find(st, key);
    if (e != nullptr) e->key = 0;
  }
}

void LobbyStoreTell(LobbyStore& st, int32_t, uint64_t owner, uint64_t code) {
  if (st.kind == LobbyStoreKind::Redis) return RedisTell(st, owner, code);
  if (st.toldCount >= static_cast<int32_t>(LOBBY_MEMORY_TOLD)) return;  // a stream bounded in length
  st.toldTo[st.toldCount] = owner;
  st.toldCode[st.toldCount] = code;
  ++st.toldCount;
}

void LobbyStorePoll(LobbyStore& st, uint32_t nowMs) {
  if (st.kind == LobbyStoreKind::Redis) return RedisPoll(st, nowMs);
  st.nowMs = nowMs;
  // Delivered after the call that queued them, as Redis's pub/sub would:
  // no process is told anything in the middle of another's answer.
  const int32_t count = st.toldCount;
  uint64_t to[LOBBY_MEMORY_TOLD], code[LOBBY_MEMORY_TOLD];
  std::memcpy(to, st.toldTo, sizeof to);
  std::memcpy(code, st.toldCode, sizeof code);
  st.toldCount = 0;
  for (int32_t m = 0; m < count; ++m)
    for (int32_t i = 0; i < st.processCount; ++i)
      if (st.process[i] == to[m]) st.told[i](st.context[i], code[m]);
}

bool LobbyStoreUp(const LobbyStore& st) { return st.kind == LobbyStoreKind::Redis ? RedisUp(st) : true; }
