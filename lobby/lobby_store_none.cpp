// A build without hiredis (Windows, the cross build): no Redis store, only
// the lobby's own memory. Every call here says so and is never reached once
// LobbyRedisStore has refused.
#include <cstdio>

#include "lobby/lobby_store.h"

bool LobbyRedisStore(LobbyStore&, const char*, char* error, size_t errorSize) {
  std::snprintf(error, errorSize, "this build of blocktide-lobby has no Redis store (the lobby's own memory only)");
  return false;
}
void LobbyRedisClose(LobbyStore&) {}
void LobbyRedisWait(LobbyStore&, int, uint32_t) {}
const char* LobbyRedisNews(LobbyStore&) { return ""; }
void RedisKeys(LobbyStore&, const uint64_t*, uint32_t) {}
void RedisRegister(LobbyStore&, const LobbyStoredRoom&, uint32_t, uint64_t, uint32_t, uint32_t) {}
void RedisLookUp(LobbyStore&, uint64_t, uint64_t, uint64_t, uint64_t, uint32_t, uint32_t) {}
void RedisChargeUnknown(LobbyStore&, uint64_t, uint32_t, uint64_t) {}
void RedisJoin(LobbyStore&, const LobbyStoredRoom&, uint32_t, uint32_t) {}
void RedisMove(LobbyStore&, const LobbyStoredRoom&, uint32_t) {}
void RedisEnd(LobbyStore&, uint64_t) {}
void RedisTell(LobbyStore&, uint64_t, uint64_t) {}
void RedisPoll(LobbyStore&, uint32_t) {}
bool RedisUp(const LobbyStore&) { return false; }
