// Fuzz target: the lobby datagram reader on any bytes (what it accepts must
// write back to the same bytes), then the same bytes given to a lobby with a
// joined and a waiting room, from the host, the joiner and a stranger; no
// reply may go to an address that neither asked nor belongs to a room.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lobby/lobby_service.h"

namespace {

const NetAddress HOST = Ipv4Address(0x7F000001, 42000);
const NetAddress JOINER = Ipv4Address(0x7F000001, 42001);
const NetAddress STRANGER = Ipv4Address(0x7F000002, 42002);
const uint64_t SECRET[4] = {1, 2, 3, 4};

const NetAddress* asker = &HOST;

bool Check(void*, const NetAddress& to, const uint8_t*, size_t) {
  if (!SameAddress(to, *asker) && !SameAddress(to, HOST) && !SameAddress(to, JOINER)) __builtin_trap();
  return true;
}

void Ask(const NetAddress& from, LobbyKind kind, uint64_t code, uint32_t nowMs) {
  LobbyDatagram d{};
  d.kind = kind;
  d.cookie = LobbyCookie(lobbyService, from, nowMs);
  d.code = code;
  uint8_t bytes[LOBBY_MAX_DATAGRAM];
  asker = &from;
  LobbyReceive(lobbyService, from, bytes, WriteLobbyDatagram(d, bytes, sizeof bytes), nowMs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LobbyDatagram d;
  if (ReadLobbyDatagram(data, size, d) == LobbyReadResult::Ok) {
    uint8_t again[LOBBY_MAX_DATAGRAM];
    const size_t n = WriteLobbyDatagram(d, again, sizeof again);
    if (n != size || std::memcmp(again, data, size) != 0) __builtin_trap();
  }
  LobbyBegin(lobbyService, 2, SECRET, Check, nullptr, nullptr, nullptr);
  Ask(HOST, LobbyKind::Register, 0, 1000);
  Ask(JOINER, LobbyKind::Join, lobbyService.rooms[0].code, 1000);
  Ask(STRANGER, LobbyKind::Register, 0, 1000);
  const NetAddress* const senders[3] = {&HOST, &JOINER, &STRANGER};
  for (const NetAddress* from : senders) {
    asker = from;
    LobbyReceive(lobbyService, *from, data, size, 1001);
  }
  LobbyTick(lobbyService, 1000 + LOBBY_ROOM_SILENCE_MS);
  return 0;
}
