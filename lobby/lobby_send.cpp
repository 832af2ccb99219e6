// The invite client's edge: datagrams sent through the test's hook or the
// socket (refusals counted), the events, the lobby's addresses, the host's
// refresh. The lowest of the client's files: it uses none of the others.
#include "lobby/lobby_client_state.h"

bool LobbySendBytes(LobbyClient& c, const NetAddress& to, const uint8_t* data, size_t size) {
  const bool sent = c.send != nullptr ? c.send(c.sendContext, to, data, size)
                                      : c.socket != NET_NO_SOCKET && SendDatagram(c.socket, to, data, size);
  if (!sent) ++c.sendFaults;
  return sent;
}

// False when the system refused it at once (no route to that family).
bool LobbySendTo(LobbyClient& c, const NetAddress& to, const LobbyDatagram& d) {
  uint8_t out[LOBBY_MAX_DATAGRAM];
  const size_t n = WriteLobbyDatagram(d, out, sizeof out);
  return n != 0 && LobbySendBytes(c, to, out, n);
}

void LobbyEvent(LobbyClient& c, LobbyClientEvent e) {
  if (c.eventCount < static_cast<int32_t>(sizeof c.events / sizeof c.events[0])) c.events[c.eventCount++] = e;
}

int32_t LobbyIndex(const LobbyClient& c, const NetAddress& from) {
  for (int32_t i = 0; i < c.lobbyCount; ++i)
    if (SameAddress(from, c.lobbies[i])) return i;
  return -1;
}

// The host's refresh, over every family the lobby answered on: each keeps
// its NAT mapping or firewall entry towards the lobby alive.
void LobbyRefresh(LobbyClient& c, uint8_t path, uint32_t nowMs) {
  LobbyDatagram d{};
  d.kind = LobbyKind::Refresh;
  d.code = c.code;
  d.ticket = c.ticket;
  d.path = path;
  for (int32_t i = 0; i < c.lobbyCount; ++i)
    if (c.answered[i] && (path == 0 || SameAddress(c.lobbies[i], c.lobby))) LobbySendTo(c, c.lobbies[i], d);
  c.refreshedMs = nowMs;
}

bool LobbyAmong(const NetAddress* list, int32_t count, const NetAddress& a) {
  for (int32_t i = 0; i < count; ++i)
    if (SameAddress(list[i], a)) return true;
  return false;
}
