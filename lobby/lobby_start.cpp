// The invite client's starts: the record cleared, its ticket drawn from the
// system's generator, the socket opened (or a test's hook taken) and the
// first request sent.
#include <cstdio>

#include "lobby/lobby_client_state.h"

namespace {

void Begin(LobbyClient& c, bool host, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
           const NetOptions& options, uint32_t nowMs) {
  c = LobbyClient{};
  c.host = host;
  c.session = &session;
  c.options = options;
  c.waitLimitMs = options.waitLimitMs;
  c.lobbyCount = lobbyCount < 1 ? 1 : lobbyCount > LOBBY_FAMILIES ? LOBBY_FAMILIES : lobbyCount;
  for (int32_t i = 0; i < c.lobbyCount; ++i) c.lobbies[i] = lobbies[i];
  c.lobby = c.lobbies[0];
  c.beganMs = c.answeredMs = nowMs;
  c.phase = LobbyClientPhase::Asking;
  if (!SecureRandom(&c.ticket, sizeof c.ticket) || c.ticket == 0) LobbyFail(c, LobbyFailure::NoRandom);
}

bool OpenSocket(LobbyClient& c, uint32_t nowMs) {
  if (c.phase == LobbyClientPhase::Failed) return false;
  char error[128];
  c.socket = OpenUdpSocket(0, error, sizeof error);
  if (c.socket == NET_NO_SOCKET) {
    LobbyFail(c, LobbyFailure::SocketFault);
    std::snprintf(c.text, sizeof c.text, "cannot open a UDP socket: %s", error);
    return false;
  }
  for (int32_t i = 0; i < c.lobbyCount; ++i) LocalAddressToward(c.socket, c.lobbies[i], c.privates[i]);
  LobbyAsk(c, 0, nowMs);
  LobbyAskAgain(c, nowMs);  // at once when the first family has no route
  return true;
}

void UseHook(LobbyClient& c, const NetAddress* privates, NetSendHook send, void* context, uint32_t nowMs) {
  c.send = send;
  c.sendContext = context;
  for (int32_t i = 0; i < c.lobbyCount; ++i) c.privates[i] = privates[i];
  if (c.phase != LobbyClientPhase::Failed) LobbyAsk(c, 0, nowMs);
}

}  // namespace

bool LobbyHostInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                     const NetOptions& options, uint32_t nowMs) {
  Begin(c, true, session, lobbies, lobbyCount, options, nowMs);
  return OpenSocket(c, nowMs);
}

bool LobbyJoinInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                     uint64_t code, const NetOptions& options, uint32_t nowMs) {
  Begin(c, false, session, lobbies, lobbyCount, options, nowMs);
  c.code = code;
  c.haveCode = true;
  return OpenSocket(c, nowMs);
}

void LobbyBeginHostInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                          const NetAddress* privates, const NetOptions& options, NetSendHook send, void* context,
                          uint32_t nowMs) {
  Begin(c, true, session, lobbies, lobbyCount, options, nowMs);
  UseHook(c, privates, send, context, nowMs);
}

void LobbyBeginJoinInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                          uint64_t code, const NetAddress* privates, const NetOptions& options, NetSendHook send,
                          void* context, uint32_t nowMs) {
  Begin(c, false, session, lobbies, lobbyCount, options, nowMs);
  c.code = code;
  c.haveCode = true;
  UseHook(c, privates, send, context, nowMs);
}

