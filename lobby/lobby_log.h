// The lobby's log lines, for lobby_service.cpp: a flood of one kind of event
// (say, registrations from many networks) writes one line a second, with the
// count of those left out, not one a datagram.
#pragma once

#include <cstdint>

#include "lobby/lobby_service.h"

// The kinds of log line, each said at most once a second.
enum LobbyLogKind : uint8_t {
  LOG_REGISTERED, LOG_JOINED, LOG_SECOND, LOG_DIRECT, LOG_RELAYED, LOG_ENDED, LOG_DROPPED, LOG_FULL,
  LOG_NO_RANDOM, LOG_SEND_FAULT, LOG_MOVED,
};
static_assert(LOG_MOVED < LOBBY_LOG_KINDS, "a slot for each kind");

void LobbySay(LobbyService& s, LobbyLogKind kind, const char* text, uint32_t nowMs);
