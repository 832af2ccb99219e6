// The lobby service's record and its operations: rooms found by invite code,
// the cookie that proves an asker's address, the per-address rate limits and
// the relay. Platform-free: datagrams come in through LobbyReceive and leave
// through the caller's send hook; nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lobby/lobby_wire.h"
#include "net/net_socket.h"

constexpr uint32_t LOBBY_ROOM_SLOTS = 4096;       // the most rooms any cap allows
constexpr uint32_t LOBBY_DEFAULT_ROOMS = 1024;    // the cap when none is given
constexpr uint32_t LOBBY_CODE_LIFE_MS = 600000;   // a code not joined in 10 min expires
constexpr uint16_t LOBBY_REFRESH_S = 15;          // the host refreshes this often
constexpr uint32_t LOBBY_HOST_SILENCE_MS = 60000; // a waiting room whose host fell silent ends
constexpr uint32_t LOBBY_ROOM_SILENCE_MS = 10000; // a joined room ends this long after its last datagram
constexpr uint32_t LOBBY_RELAY_BYTES_PER_S = 32768;  // each way, per room
constexpr uint32_t LOBBY_COOKIE_WINDOW_MS = 20000;   // a cookie holds for one or two windows
constexpr uint32_t LOBBY_LIMIT_WINDOW_MS = 60000;    // the rate limits' window
constexpr uint8_t LOBBY_REGISTRATIONS_PER_WINDOW = 6;
constexpr uint8_t LOBBY_LOOKUPS_PER_WINDOW = 10;
constexpr uint32_t LOBBY_LIMIT_SLOTS = 256;          // addresses tracked by the rate limits

enum class LobbyRoomState : uint8_t { Free, Waiting, Joined };

struct LobbyRoom {
  LobbyRoomState state;
  uint64_t code;
  // Each side's addresses, one a family: [0] the one its first request came
  // from (the relay's), [1] the other family's, from a request with its ticket.
  NetAddress hostPublic[LOBBY_FAMILIES], hostPrivate[LOBBY_FAMILIES];
  NetAddress joinerPublic[LOBBY_FAMILIES], joinerPrivate[LOBBY_FAMILIES];
  uint64_t hostTicket, joinerTicket;  // 0: none (no second family joins it)
  uint32_t createdMs;
  uint32_t lastHostMs;   // the host's last datagram
  uint32_t lastHeardMs;  // either side's last datagram
  uint32_t budget[2];    // relay bytes allowed now: host to joiner, joiner to host
  uint32_t budgetMs;     // when the budgets were last topped up
  bool direct, relayed;  // already reported
};

// Who asked how often in the current window, by IPv4 address or IPv6 /64
// (a home's whole network: any port, any address within it).
struct LobbyLimit {
  uint64_t who;  // the IPv4 number, or the /64's first 8 bytes
  bool ipv6;
  uint32_t windowMs;
  uint8_t registrations, lookups;
  bool used;
};

struct LobbyCounts {
  uint32_t registered, joined, direct, relayed, ended, expired, dropped;
  uint32_t challenges, rateLimited, unknownCodes, badDatagrams, strangers;
  uint64_t relayedDatagrams, relayedBytes, overCap;
};

typedef bool (*LobbySend)(void* context, const NetAddress& to, const uint8_t* data, size_t size);
typedef void (*LobbyLog)(void* context, const char* line);

struct LobbyService {
  LobbyRoom rooms[LOBBY_ROOM_SLOTS];
  uint32_t cap;
  LobbyLimit limits[LOBBY_LIMIT_SLOTS];
  uint64_t cookieKey[2];  // secret: the cookies' hash key
  uint64_t codeKey[2];    // secret: the codes are a keyed hash of a counter
  uint64_t codeCounter;
  LobbySend send;
  void* sendContext;
  LobbyLog log;
  void* logContext;
  LobbyCounts counts;
};

// The program's one service (tests reuse it: LobbyBegin clears it).
extern LobbyService lobbyService;

// Called once before any datagram: the cap (1 to LOBBY_ROOM_SLOTS) and four
// secret 64-bit words from the system's random source.
void LobbyBegin(LobbyService& s, uint32_t cap, const uint64_t secret[4], LobbySend send, void* sendContext,
                LobbyLog log, void* logContext);

// Called for every datagram that arrived on the lobby's socket.
void LobbyReceive(LobbyService& s, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs);

// Called at least once a second: rooms expired or silent end.
void LobbyTick(LobbyService& s, uint32_t nowMs);

// The cookie the lobby expects from `who` now (the tests play askers with it).
uint64_t LobbyCookie(const LobbyService& s, const NetAddress& who, uint32_t nowMs);

// One line: what the service did since LobbyBegin.
void LobbySummary(const LobbyService& s, char* text, size_t size);
