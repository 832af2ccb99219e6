// Fuzz target: the lobby datagram reader on any bytes (what it accepts must
// write back to the same bytes), then the same bytes given to a lobby with a
// joined and a waiting room, from the host, the joiner and a stranger; no
// reply may go to an address that neither asked nor belongs to a room. The
// bytes also reach a punching client from the lobby, its peer and a
// stranger: it may send only to the lobby, its peer's addresses and the
// datagram's sender. Last, the same for a lobby over a Memory store (the
// shared lobby's requests, a Join told to the host's process).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lobby/lobby_client_state.h"
#include "lobby/lobby_service.h"
#include "lobby/lobby_store.h"

namespace {

const NetAddress HOST = Ipv4Address(0x7F000001, 42000);
const NetAddress JOINER = Ipv4Address(0x7F000001, 42001);
const NetAddress STRANGER = Ipv4Address(0x7F000002, 42002);
const NetAddress LOBBY = Ipv4Address(0x7F000003, 41415);
const uint64_t SECRET[LOBBY_SECRET_WORDS] = {1, 2, 3, 4, 5, 6};
// The seeds' ticket and token: the punching client's are these, so that the
// seeds' Peers, Probe and Relayed reach past the ticket and token checks.
const uint64_t TICKET = 0x1122334455667788ull, TOKEN = 0x8877665544332211ull;

const NetAddress* asker = &HOST;

bool Check(void*, const NetAddress& to, const uint8_t*, size_t) {
  if (!SameAddress(to, *asker) && !SameAddress(to, HOST) && !SameAddress(to, JOINER) && !SameAddress(to, LOBBY))
    __builtin_trap();
  return true;
}

void Ask(const NetAddress& from, LobbyKind kind, uint64_t code, uint32_t nowMs) {
  LobbyDatagram d{};
  d.kind = kind;
  d.cookie = LobbyCookie(lobbyService, from, nowMs);
  d.code = code;
  d.ticket = TICKET + from.port;  // one each: the host's, the joiner's, the stranger's
  uint8_t bytes[LOBBY_MAX_DATAGRAM];
  asker = &from;
  LobbyReceive(lobbyService, from, bytes, WriteLobbyDatagram(d, bytes, sizeof bytes), nowMs);
}

// A joiner that has its host's addresses and punches.
void Punching(uint64_t code) {
  asker = &LOBBY;
  LobbyBeginJoinInvite(lobbyClient, NetSessionRecord(1), &LOBBY, 1, code, &JOINER, DefaultNetOptions(), Check,
                       nullptr, 1000);
  lobbyClient.ticket = TICKET;
  LobbyDatagram d{};
  d.kind = LobbyKind::Peers;
  d.code = code;
  d.ticket = TICKET;
  d.token = TOKEN;
  d.role = 1;
  d.publics[0] = HOST;
  d.privates[0] = HOST;
  uint8_t bytes[LOBBY_MAX_DATAGRAM];
  LobbyClientReceive(lobbyClient, LOBBY, bytes, WriteLobbyDatagram(d, bytes, sizeof bytes), 1000);
}

LobbyStore store;
LobbyMemoryEntry entries[LOBBY_MEMORY_ENTRIES];

// The bytes from each sender to a lobby over a store, with a joined room.
void OverAStore(const uint8_t* data, size_t size) {
  LobbyBegin(lobbyService, 2, SECRET, Check, nullptr, nullptr, nullptr);
  LobbyMemoryStore(store, entries);
  LobbyStoreClock(store, 1000);
  const NetAddress publics[LOBBY_FAMILIES] = {{}, LOBBY};
  LobbyUseStore(lobbyService, store, 11, publics);
  Ask(HOST, LobbyKind::Register, 0, 1000);
  Ask(JOINER, LobbyKind::Join, lobbyService.rooms[0].code, 1000);
  lobbyService.rooms[0].token = TOKEN;
  const NetAddress* const senders[3] = {&HOST, &JOINER, &STRANGER};
  for (const NetAddress* from : senders) {
    asker = from;
    LobbyReceive(lobbyService, *from, data, size, 1001);
    LobbyStorePoll(store, 1001);
  }
  LobbyTick(lobbyService, 1000 + LOBBY_ROOM_SILENCE_MS);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LobbyDatagram d;
  if (ReadLobbyDatagram(data, size, d) == LobbyReadResult::Ok) {
    uint8_t again[LOBBY_MAX_RELAYED];
    const size_t n = WriteLobbyDatagram(d, again, sizeof again);
    if (n != size || std::memcmp(again, data, size) != 0) __builtin_trap();
  }
  LobbyBegin(lobbyService, 2, SECRET, Check, nullptr, nullptr, nullptr);
  Ask(HOST, LobbyKind::Register, 0, 1000);
  Ask(JOINER, LobbyKind::Join, lobbyService.rooms[0].code, 1000);
  lobbyService.rooms[0].token = TOKEN;  // the seeds' Relayed datagram is the joined room's
  Ask(STRANGER, LobbyKind::Register, 0, 1000);
  const NetAddress* const senders[3] = {&HOST, &JOINER, &STRANGER};
  for (const NetAddress* from : senders) {
    asker = from;
    LobbyReceive(lobbyService, *from, data, size, 1001);
  }
  LobbyTick(lobbyService, 1000 + LOBBY_ROOM_SILENCE_MS);
  const NetAddress* const towards[3] = {&LOBBY, &HOST, &STRANGER};
  for (const NetAddress* from : towards) {
    Punching(d.code);  // the bytes' own code when they read as a datagram
    asker = from;
    LobbyClientReceive(lobbyClient, *from, data, size, 1001);
    LobbyClientService(lobbyClient, 1001 + LOBBY_PUNCH_MS);
    NetClose(NetSessionRecord(1));
  }
  OverAStore(data, size);
  return 0;
}
