// The lobby's rooms, for lobby_service.cpp and lobby_shared.cpp (the lobby
// over a shared store): the replies, a room's log line and end, and the
// table of the rooms this process holds (their relay). Nothing allocates.
#pragma once

#include "lobby/lobby_log.h"
#include "lobby/lobby_service.h"

void LobbyReply(LobbyService& s, const NetAddress& to, const LobbyDatagram& d);
// "room XXXX-XXXX what [address]", each kind once a second at most.
void LobbyRoomLog(LobbyService& s, LobbyLogKind kind, const LobbyRoom& r, const char* what, const NetAddress* who,
                  uint32_t nowMs);
// The room is given up (and, over a shared store, deleted there too).
void LobbyEndRoom(LobbyService& s, LobbyRoom& r, const char* why, uint32_t nowMs);
void LobbySendError(LobbyService& s, const NetAddress& to, LobbyError reason, uint64_t code, uint64_t ticket);
// One of a side's addresses (one a family) is `a`.
bool LobbyHolds(const NetAddress* side, const NetAddress& a);
LobbyRoom* LobbyFindRoom(LobbyService& s, uint64_t code);
LobbyRoom* LobbyFreeRoom(LobbyService& s);
// Each side learns the other's addresses and the room's token.
void LobbySendPeers(LobbyService& s, const LobbyRoom& r, bool toHost);
void LobbySendCode(LobbyService& s, const NetAddress& to, const LobbyRoom& r);

// ---- lobby_shared.cpp: the lobby over a shared store ---------------------------
// A Register, Join or Refresh (the cookie checked): answered once the store
// has; the relay, Relayed datagrams, never waits on it.
void LobbySharedRequest(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs);
// Requests the store did not answer in time: the askers are told the lobby is unavailable.
void LobbySharedTick(LobbyService& s, uint32_t nowMs);
// A Refresh with the joiner's ticket of a room joined at another process:
// its ticket as this process knows it (the hash); any other as it is.
LobbyDatagram LobbySharedTicket(const LobbyService& s, const LobbyDatagram& d);
// The store's keyed hash of a ticket.
uint64_t TicketHash(const LobbyService& s, uint64_t ticket);
