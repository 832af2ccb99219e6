// The limits and quotas by network: the keyed count-min sketch of each
// network's registrations, look-ups and unknown codes in the current window,
// the budget of unknown codes in all, the rooms a network holds, and the
// cookie that proves an asker receives at its address.
#include "lobby/lobby_limits.h"

#include <cstring>

#include "net/keyed_hash.h"

namespace {

uint64_t Half(const NetAddress& a, int half) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = v << 8 | a.bytes[half * 8 + i];
  return v;
}

void TopUpUnknown(LobbyService& s, uint32_t nowMs) {
  const uint64_t topped = s.unknownBudget + static_cast<uint64_t>(nowMs - s.unknownMs) * LOBBY_UNKNOWN_PER_S;
  const uint64_t most = static_cast<uint64_t>(LOBBY_UNKNOWN_PER_S) * 1000;
  s.unknownBudget = static_cast<uint32_t>(topped > most ? most : topped);
  s.unknownMs = nowMs;
}

// The heaviest network is looked for among the networks of rooms spread
// evenly over the table: one that holds a large part of it is among them.
constexpr uint32_t GIVE_UP_SAMPLES = 32;

}  // namespace

uint64_t LobbyNetwork(const NetAddress& a) { return IsIpv4(a) ? Ipv4Of(a) >> 8 : Half(a, 0); }

// A network's cell in each row: 10 bits each of one keyed hash.
LobbyCells LobbyCellsOf(LobbyService& s, uint64_t network, uint32_t nowMs) {
  static_assert(LOBBY_SKETCH_ROWS * 16 <= 64 && LOBBY_SKETCH_WIDTH <= 65536, "one hash gives every row's cell");
  if (nowMs - s.sketch.windowMs >= LOBBY_LIMIT_WINDOW_MS) {
    // A new window for everyone at once: no asker can age another's counts.
    std::memset(s.sketch.cells, 0, sizeof s.sketch.cells);
    s.sketch.windowMs = nowMs;
  }
  const uint64_t h = KeyedHash(s.sketch.key, network, 0, 0);
  LobbyCells c{};
  for (uint32_t r = 0; r < LOBBY_SKETCH_ROWS; ++r) c.at[r] = static_cast<uint32_t>(h >> (16 * r)) & (LOBBY_SKETCH_WIDTH - 1);
  return c;
}

// The least of the network's cells: never below its true count.
uint32_t LobbyEstimate(const LobbyService& s, LobbyCount kind, const LobbyCells& c) {
  uint32_t least = 0xFFFF;
  for (uint32_t r = 0; r < LOBBY_SKETCH_ROWS; ++r) {
    const uint32_t v = s.sketch.cells[static_cast<int>(kind)][r][c.at[r]];
    if (v < least) least = v;
  }
  return least;
}

// Raises only the cells at the least (the conservative update): networks
// sharing a cell over-count each other less.
void LobbyCountUp(LobbyService& s, LobbyCount kind, const LobbyCells& c) {
  const uint32_t least = LobbyEstimate(s, kind, c);
  if (least == 0xFFFF) return;
  for (uint32_t r = 0; r < LOBBY_SKETCH_ROWS; ++r) {
    uint16_t& v = s.sketch.cells[static_cast<int>(kind)][r][c.at[r]];
    if (v == least) v = static_cast<uint16_t>(least + 1);
  }
}

// A look-up: limited by network, and unknown codes by network and in all.
bool LobbyMayLookUp(LobbyService& s, const LobbyCells& cells, uint32_t nowMs) {
  TopUpUnknown(s, nowMs);
  const uint32_t unknown = LobbyEstimate(s, LobbyCount::Unknown, cells);
  const uint32_t reserve = unknown > 0 ? LOBBY_UNKNOWN_PER_S * 500 : 0;
  if (LobbyEstimate(s, LobbyCount::Lookups, cells) >= LOBBY_LOOKUPS_PER_WINDOW || unknown >= LOBBY_UNKNOWN_PER_WINDOW ||
      s.unknownBudget < reserve + 1000) {
    return false;
  }
  LobbyCountUp(s, LobbyCount::Lookups, cells);
  return true;
}

void LobbyChargeUnknown(LobbyService& s, const LobbyCells& cells) {
  LobbyCountUp(s, LobbyCount::Unknown, cells);
  s.unknownBudget = s.unknownBudget >= 1000 ? s.unknownBudget - 1000 : 0;
}

uint32_t LobbyShare(const LobbyService& s) {
  const uint32_t share = s.cap / LOBBY_NETWORK_SHARE;
  return share < 1 ? 1 : share;
}

// Rooms in `state` that `network` holds: as host, or (joined) as joiner.
uint32_t LobbyRoomsOf(const LobbyService& s, uint64_t network, LobbyRoomState state) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < s.cap; ++i) {
    const LobbyRoom& r = s.rooms[i];
    if (r.state == state && (r.hostNet == network || (state == LobbyRoomState::Joined && r.joinerNet == network))) ++n;
  }
  return n;
}

bool LobbyNetworkToGiveUp(const LobbyService& s, uint64_t askerNet, uint64_t& network) {
  uint64_t heaviest = 0;
  uint32_t most = 0;
  const uint32_t step = s.cap / GIVE_UP_SAMPLES > 0 ? s.cap / GIVE_UP_SAMPLES : 1;
  for (uint32_t i = 0; i < s.cap; i += step) {
    const LobbyRoom& r = s.rooms[i];
    if (r.state != LobbyRoomState::Waiting || (most > 0 && r.hostNet == heaviest)) continue;
    const uint32_t n = LobbyRoomsOf(s, r.hostNet, LobbyRoomState::Waiting);
    if (n > most) {
      most = n;
      heaviest = r.hostNet;
    }
  }
  network = heaviest;
  return most > 0 && most >= LobbyRoomsOf(s, askerNet, LobbyRoomState::Waiting) + 2;
}

namespace {

uint64_t CookieAt(const LobbyService& s, const NetAddress& who, uint32_t window) {
  return KeyedHash(s.cookieKey, Half(who, 0), Half(who, 1), static_cast<uint64_t>(who.port) << 32 | window);
}

}  // namespace

uint64_t LobbyCookie(const LobbyService& s, const NetAddress& who, uint32_t nowMs) {
  return CookieAt(s, who, nowMs / LOBBY_COOKIE_WINDOW_MS);
}

bool LobbyCookieValid(const LobbyService& s, const NetAddress& who, uint64_t cookie, uint32_t nowMs) {
  const uint32_t window = nowMs / LOBBY_COOKIE_WINDOW_MS;
  return cookie == CookieAt(s, who, window) || cookie == CookieAt(s, who, window - 1);
}
