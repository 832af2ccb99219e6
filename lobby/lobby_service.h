// The lobby service's record and its operations: rooms found by invite code,
// the cookie that proves an asker's address, the rate limits and room quotas
// by network, and the relay of datagrams that carry their room's token. Platform-free: datagrams come in through LobbyReceive and leave
// through the caller's send hook; nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lobby/lobby_store.h"
#include "lobby/lobby_wire.h"
#include "net/net_socket.h"

constexpr uint32_t LOBBY_ROOM_SLOTS = 4096;       // the most rooms any cap allows
constexpr uint32_t LOBBY_DEFAULT_ROOMS = 1024;    // the cap when none is given
constexpr uint32_t LOBBY_CODE_LIFE_MS = 600000;   // a code not joined in 10 min expires
constexpr uint16_t LOBBY_REFRESH_S = 15;          // the host refreshes this often
constexpr uint16_t LOBBY_SHARED_REFRESH_S = 2;    // ... over a shared store: a process gone is noticed soon
constexpr uint32_t LOBBY_HOST_SILENCE_MS = 60000; // a waiting room whose host fell silent ends
constexpr uint32_t LOBBY_ROOM_SILENCE_MS = 10000; // a joined room ends this long after its last datagram
constexpr uint32_t LOBBY_RELAY_BYTES_PER_S = 32768;  // each way, per room
constexpr uint32_t LOBBY_COOKIE_WINDOW_MS = 20000;   // a cookie holds for one or two windows
constexpr uint32_t LOBBY_REFRESH_GAP_MS = 200;       // a room's refreshes are acted on at most this often
// The rate limits count by network: an IPv4 /24 or an IPv6 /64 (a home, or
// a carrier's NAT with hundreds of players behind one address, uses any
// address and port within it), in a window of a minute.
constexpr uint32_t LOBBY_LIMIT_WINDOW_MS = 60000;
constexpr uint16_t LOBBY_REGISTRATIONS_PER_WINDOW = 30;
constexpr uint16_t LOBBY_LOOKUPS_PER_WINDOW = 30;
constexpr uint16_t LOBBY_UNKNOWN_PER_WINDOW = 5;     // look-ups of a code that is no room's
// All networks together: unknown codes answered a second, so that guessing
// one of 1,024 live codes takes over a year however many networks guess.
// The second half of the budget is kept for networks without an unknown
// code in the window (a friend with the right code, under a guessing flood).
constexpr uint32_t LOBBY_UNKNOWN_PER_S = 24;
// The counts live in a count-min sketch keyed by a secret: a table that a
// flood of new networks cannot empty (it only over-counts, never forgets a
// network within its window) and whose cells no asker can aim at.
constexpr uint32_t LOBBY_SKETCH_ROWS = 4;
constexpr uint32_t LOBBY_SKETCH_WIDTH = 1024;  // cells a row (a power of two)
// Rooms one network may hold, waiting and joined each: a quarter of the cap.
constexpr uint32_t LOBBY_NETWORK_SHARE = 4;
constexpr uint32_t LOBBY_LOG_KINDS = 12;       // kinds of log line, each said once a second at most

enum class LobbyRoomState : uint8_t { Free, Waiting, Joined };

struct LobbyRoom {
  LobbyRoomState state;
  uint64_t code;
  uint64_t token;  // drawn per room; only its host and joiner learn it
  // Each side's addresses, one a family: [0] the one its first request came
  // from (the relay's), [1] the other family's, from a request with its ticket.
  NetAddress hostPublic[LOBBY_FAMILIES], hostPrivate[LOBBY_FAMILIES];
  NetAddress joinerPublic[LOBBY_FAMILIES], joinerPrivate[LOBBY_FAMILIES];
  uint64_t hostTicket, joinerTicket;
  uint64_t hostNet, joinerNet;  // the networks of each side's first address (LobbyNetwork)
  uint32_t createdMs;
  uint32_t lastHostMs;   // the host's last datagram
  uint32_t lastHeardMs;  // either side's last datagram
  uint32_t refreshMs;    // the last refresh acted on
  uint32_t budget[2];    // relay bytes allowed now: host to joiner, joiner to host
  uint32_t budgetMs;     // when the budgets were last topped up
  bool direct, relayed;  // already reported
};

enum class LobbyCount : uint8_t { Registrations, Lookups, Unknown, Kinds };

struct LobbySketch {
  uint16_t cells[static_cast<int>(LobbyCount::Kinds)][LOBBY_SKETCH_ROWS][LOBBY_SKETCH_WIDTH];
  uint32_t windowMs;     // when the current window began
  uint64_t key[2];       // secret: where a network's cells are
};

// A request waiting on the shared store: what is needed to finish its answer.
constexpr uint32_t LOBBY_PENDING = 1024;       // requests waiting on the store at once
constexpr uint32_t LOBBY_STORE_WAIT_MS = 1000; // then the asker is told the lobby is unavailable
struct LobbyPending {
  bool used, abandoned;   // abandoned: answered Unavailable; the store's late answer only frees it
  uint8_t stage;          // lobby_shared.cpp's steps
  uint8_t tries;
  uint8_t calls;          // store calls sent for it: a step that sent none ends it
  NetAddress from;
  LobbyDatagram d;        // the request (no payload)
  uint32_t sinceMs;
  uint64_t code, token;   // a registration's code and token, drawn before the store has them
  LobbyStoredRoom room;   // a Join's room as the store gave it
};

struct LobbyCounts {
  uint32_t registered, joined, direct, relayed, ended, expired, dropped, full;
  uint32_t challenges, rateLimited, unknownCodes, badDatagrams, strangers, forged, refreshesIgnored;
  uint64_t relayedDatagrams, relayedBytes, overCap, sendFaults, logLinesLeftOut;
  uint32_t unavailable, told, reattached, pendingFull;  // over a shared store
};

typedef bool (*LobbySend)(void* context, const NetAddress& to, const uint8_t* data, size_t size);
typedef void (*LobbyLog)(void* context, const char* line);

struct LobbyService {
  LobbyRoom rooms[LOBBY_ROOM_SLOTS];
  uint32_t cap;
  LobbySketch sketch;
  uint32_t unknownBudget;  // unknown codes that may be answered now (all networks), in thousandths
  uint32_t unknownMs;      // when it was last topped up
  uint64_t cookieKey[2];   // secret: the cookies' hash key
  uint64_t codeKey[2];     // secret: the codes are a keyed hash of a counter
  uint64_t codeCounter;
  uint32_t logMs[LOBBY_LOG_KINDS];       // when each kind was last said
  uint32_t logLeftOut[LOBBY_LOG_KINDS];  // ... and how many were not since
  bool logSaid[LOBBY_LOG_KINDS];
  LobbySend send;
  void* sendContext;
  LobbyLog log;
  void* logContext;
  LobbyCounts counts;
  // Over a shared store (null: this process alone, everything above in its
  // memory): this process's id and public addresses (one a family: the
  // relay's, told to joiners at other processes), the shared keys in force,
  // and the requests waiting on the store.
  LobbyStore* store;
  int32_t storeWho;
  uint64_t process;
  NetAddress publics[LOBBY_FAMILIES];
  uint64_t ticketKey[2];   // TicketHash's: the store holds no ticket in the clear
  bool keysKnown;          // the store's keys arrived: requests are served
  uint32_t keysAskedMs;
  bool storeWasUp;
  uint16_t refreshS;       // told to hosts: LOBBY_REFRESH_S, or LOBBY_SHARED_REFRESH_S over a store
  LobbyPending pending[LOBBY_PENDING];
};

// The program's one service (tests reuse it: LobbyBegin clears it).
extern LobbyService lobbyService;

// Called once before any datagram: the cap (1 to LOBBY_ROOM_SLOTS) and six
// secret 64-bit words from the system's secure generator (SecureRandom);
// room tokens are drawn from it as rooms are made.
constexpr int32_t LOBBY_SECRET_WORDS = 6;
void LobbyBegin(LobbyService& s, uint32_t cap, const uint64_t secret[LOBBY_SECRET_WORDS], LobbySend send,
                void* sendContext, LobbyLog log, void* logContext);

// Over a shared store, after LobbyBegin: this process's id (random) and
// public addresses (none: the relay's are the ones players asked, and
// joiners at other processes cannot be relayed). The shared keys are asked
// for at once; until they come, requests are answered Unavailable.
void LobbyUseStore(LobbyService& s, LobbyStore& store, uint64_t process, const NetAddress publics[LOBBY_FAMILIES]);

// Called for every datagram that arrived on the lobby's socket.
void LobbyReceive(LobbyService& s, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs);

// Called at least once a second: rooms expired or silent end.
void LobbyTick(LobbyService& s, uint32_t nowMs);

// The cookie the lobby expects from `who` now (the tests play askers with it).
uint64_t LobbyCookie(const LobbyService& s, const NetAddress& who, uint32_t nowMs);

// The network the limits and quotas count `a` by: an IPv4 address's /24 (the
// top 40 bits zero), or an IPv6 address's /64 (never so: ::/8 is reserved).
uint64_t LobbyNetwork(const NetAddress& a);

// One line: what the service did since LobbyBegin.
void LobbySummary(const LobbyService& s, char* text, size_t size);
