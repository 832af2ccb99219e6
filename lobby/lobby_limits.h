// The lobby's limits and quotas by network, for lobby_service.cpp: where a
// network's counts are in the keyed sketch, what they say, the budget of
// unknown codes in all, and the rooms a network holds. Nothing allocates.
#pragma once

#include <cstdint>

#include "lobby/lobby_service.h"

struct LobbyCells {
  uint32_t at[LOBBY_SKETCH_ROWS];
};

// A network's cell in each row (a new window for everyone once the last is over).
LobbyCells LobbyCellsOf(LobbyService& s, uint64_t network, uint32_t nowMs);
// The least of the network's cells: never below its true count.
uint32_t LobbyEstimate(const LobbyService& s, LobbyCount kind, const LobbyCells& c);
void LobbyCountUp(LobbyService& s, LobbyCount kind, const LobbyCells& c);
// A look-up may go ahead (and is counted): under the network's limits and
// the budget of unknown codes in all.
bool LobbyMayLookUp(LobbyService& s, const LobbyCells& cells, uint32_t nowMs);
// An unknown code answered: the network's count and the budget.
void LobbyChargeUnknown(LobbyService& s, const LobbyCells& cells);
// Rooms one network may hold, waiting and joined each.
uint32_t LobbyShare(const LobbyService& s);
// Rooms in `state` that `network` holds: as host, or (joined) as joiner.
uint32_t LobbyRoomsOf(const LobbyService& s, uint64_t network, LobbyRoomState state);
// The full lobby's choice: the network with the most waiting rooms, when it
// holds at least two more than the asker's; false when none does.
bool LobbyNetworkToGiveUp(const LobbyService& s, uint64_t askerNet, uint64_t& network);
// The cookie of this window or the last from `who` (LobbyCookie's).
bool LobbyCookieValid(const LobbyService& s, const NetAddress& who, uint64_t cookie, uint32_t nowMs);
