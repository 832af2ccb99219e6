// The lobby's rooms, for lobby_service.cpp and lobby_shared.cpp: the
// replies (a code, the peers, a refusal), a room's log line and its end, and
// the process's table of the rooms it holds.
#include "lobby/lobby_rooms.h"

#include <cstdio>
#include <cstring>

#include "lobby/lobby_log.h"
#include "lobby/lobby_store.h"

void LobbyReply(LobbyService& s, const NetAddress& to, const LobbyDatagram& d) {
  uint8_t out[LOBBY_MAX_DATAGRAM];
  const size_t n = WriteLobbyDatagram(d, out, sizeof out);
  if (n != 0 && !s.send(s.sendContext, to, out, n)) ++s.counts.sendFaults;
}


void LobbyRoomLog(LobbyService& s, LobbyLogKind kind, const LobbyRoom& r, const char* what, const NetAddress* who, uint32_t nowMs) {
  if (s.log == nullptr) return;
  char code[LOBBY_CODE_TEXT];
  FormatLobbyCode(r.code, code);
  char address[NET_ADDRESS_TEXT] = "";
  if (who != nullptr) FormatAddress(*who, true, address, sizeof address);
  char line[112];
  std::snprintf(line, sizeof line, "room %s %s%s%s", code, what, who != nullptr ? " " : "", address);
  LobbySay(s, kind, line, nowMs);
}


void LobbyEndRoom(LobbyService& s, LobbyRoom& r, const char* why, uint32_t nowMs) {
  char what[48];
  std::snprintf(what, sizeof what, "ended (%s)", why);
  LobbyRoomLog(s, LOG_ENDED, r, what, nullptr, nowMs);
  ++s.counts.ended;
  // Over a shared store a joined room's keys go with it; a waiting one's are
  // left to expire, for its host may have re-attached at another process.
  if (s.store != nullptr && r.state == LobbyRoomState::Joined) LobbyStoreEnd(*s.store, s.storeWho, r.code);
  r.state = LobbyRoomState::Free;
}


void LobbySendError(LobbyService& s, const NetAddress& to, LobbyError reason, uint64_t code, uint64_t ticket) {
  LobbyDatagram d{};
  d.kind = LobbyKind::Error;
  d.reason = reason;
  d.code = code;
  d.ticket = ticket;
  LobbyReply(s, to, d);
  if (reason == LobbyError::RateLimited) ++s.counts.rateLimited;
  else if (reason == LobbyError::UnknownCode) ++s.counts.unknownCodes;
}


bool LobbyHolds(const NetAddress* side, const NetAddress& a) {
  for (int32_t i = 0; i < LOBBY_FAMILIES; ++i)
    if (side[i].port != 0 && SameAddress(side[i], a)) return true;
  return false;
}


LobbyRoom* LobbyFindRoom(LobbyService& s, uint64_t code) {
  for (uint32_t i = 0; i < s.cap; ++i)
    if (s.rooms[i].state != LobbyRoomState::Free && s.rooms[i].code == code) return &s.rooms[i];
  return nullptr;
}


LobbyRoom* LobbyFreeRoom(LobbyService& s) {
  for (uint32_t i = 0; i < s.cap; ++i)
    if (s.rooms[i].state == LobbyRoomState::Free) return &s.rooms[i];
  return nullptr;
}


// Each side learns the other's addresses and the room's token.
void LobbySendPeers(LobbyService& s, const LobbyRoom& r, bool toHost) {
  LobbyDatagram d{};
  d.kind = LobbyKind::Peers;
  d.code = r.code;
  d.token = r.token;
  d.role = toHost ? 0 : 1;
  d.ticket = toHost ? r.hostTicket : r.joinerTicket;
  std::memcpy(d.publics, toHost ? r.joinerPublic : r.hostPublic, sizeof d.publics);
  std::memcpy(d.privates, toHost ? r.joinerPrivate : r.hostPrivate, sizeof d.privates);
  LobbyReply(s, toHost ? r.hostPublic[0] : r.joinerPublic[0], d);
}

void LobbySendCode(LobbyService& s, const NetAddress& to, const LobbyRoom& r) {
  LobbyDatagram given{};
  given.kind = LobbyKind::CodeGiven;
  given.code = r.code;
  given.ticket = r.hostTicket;
  given.token = r.token;
  given.refreshS = s.refreshS;
  LobbyReply(s, to, given);
}

