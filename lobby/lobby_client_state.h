// The invite client's record, private to lobby/: the program sees it only
// through lobby_client.h (the tests read it here). Two files work on it:
//   lobby_start   the starts: the ticket drawn, the socket opened;
//   lobby_client  the lobby's requests and replies, the poll, the events;
//   lobby_punch   the probes and their answers, the relay's envelope and the
//                 session begun on the path found;
//   lobby_send    the edge: sending, the events, the lobby's addresses, the
//                 refresh.
// Each uses only the files below it.
#pragma once

#include "lobby/lobby_client.h"

struct LobbyClient {
  LobbyClientPhase phase;
  bool host;
  NetSession* session;        // begun on the path found
  NetOptions options;         // for that session
  NetSocket socket = NET_NO_SOCKET;  // the session owns it once it has begun
  NetSendHook send;           // null: the socket (tests set their own)
  void* sendContext;
  NetAddress lobby;           // the lobby's address that answered first (the relay's)
  bool relayElsewhere;        // joiner: the Peers named another lobby process as the relay
  // The lobby's name's other addresses (processes of one lobby over a shared
  // store): a waiting host whose lobby falls silent refreshes at the next,
  // which takes its room over by its ticket.
  NetAddress spares[LOBBY_SPARES];
  int32_t spareCount;
  int32_t tried;              // spares tried since the last answer
  uint32_t reattaches;        // moves to a spare that answered
  NetAddress lobbies[LOBBY_FAMILIES];   // all of its addresses, IPv6 first
  int32_t lobbyCount;
  NetAddress privates[LOBBY_FAMILIES];  // this side's own towards each, as its system sees it
  uint64_t cookies[LOBBY_FAMILIES];     // the lobby's at each address, once challenged
  uint32_t askedAt[LOBBY_FAMILIES];
  bool asked[LOBBY_FAMILIES];
  bool refused[LOBBY_FAMILIES];         // the last request there could not be sent (no route)
  bool answered[LOBBY_FAMILIES];        // a code, the peers or a refusal came from there
  uint64_t ticket;            // this client's secret: the same side over both families
  uint64_t code;
  bool haveCode;
  uint64_t token;             // the room's, from CodeGiven (host) or Peers (joiner); 0: none yet
  uint16_t refreshS;
  NetAddress peerPublic;      // the other side's address as the lobby saw it (for titles)
  NetAddress targets[LOBBY_TARGETS];  // the other side's addresses to probe
  uint64_t nonces[LOBBY_TARGETS];     // each target's probes carry its own
  int32_t probes[LOBBY_TARGETS];      // sent to each
  uint32_t probeDueMs[LOBBY_TARGETS]; // each one's next
  int32_t targetCount;
  bool probeAnswered;                 // a probe came back: probing stops
  NetAddress heard[LOBBY_TARGETS];    // addresses whose probes (with the token) came in
  int32_t answers[LOBBY_TARGETS];     // answered to each
  int32_t heardCount;
  LobbyPath path;
  NetAddress pathAddress;     // the peer's, or the lobby's when relayed
  uint32_t waitLimitMs;       // host: give up when nobody joined this long after the code (0: the code's life)
  uint32_t beganMs, answeredMs, codeMs, refreshedMs, peersMs, pathMs;
  LobbyClientEvent events[3]; // in order, taken by LobbyTakeClientEvent
  int32_t eventCount;
  LobbyFailure failure;
  char text[192];
  uint64_t probesSent, probesAnswered, dropped, sendFaults;
  uint32_t receiveFaults;
  int32_t receiveFaultRun;    // reads in a row that met a fault and read nothing
  uint32_t codesGiven;        // host: more than one when a room was given up and a new one asked for
  bool fellBack;              // the direct path fell silent: the session is on the relay now
  uint32_t fallbackSilenceMs;
};

// ---- lobby_send.cpp -----------------------------------------------------------
// Sends a datagram through the test's hook or the socket: false when refused.
bool LobbySendBytes(LobbyClient& c, const NetAddress& to, const uint8_t* data, size_t size);
bool LobbySendTo(LobbyClient& c, const NetAddress& to, const LobbyDatagram& d);
void LobbyEvent(LobbyClient& c, LobbyClientEvent e);
// The index of `from` among the lobby's addresses, or -1.
int32_t LobbyIndex(const LobbyClient& c, const NetAddress& from);
// The host's refresh: path 1 tells the lobby the path is direct.
void LobbyRefresh(LobbyClient& c, uint8_t path, uint32_t nowMs);
bool LobbyAmong(const NetAddress* list, int32_t count, const NetAddress& a);

// ---- lobby_client.cpp, for lobby_start.cpp -------------------------------------
// Fails with the text of `why`; the socket is closed before a session has it.
void LobbyFail(LobbyClient& c, LobbyFailure why);
// The request to the lobby's address `i`; LobbyAskAgain repeats what is due.
void LobbyAsk(LobbyClient& c, int32_t i, uint32_t nowMs);
void LobbyAskAgain(LobbyClient& c, uint32_t nowMs);

// ---- lobby_punch.cpp ---------------------------------------------------------
// Peers came: probing begins, or goes on with the addresses added.
void LobbyStartPunching(LobbyClient& c, uint32_t nowMs);
void LobbyAddTarget(LobbyClient& c, const NetAddress& a, uint32_t nowMs);
// The probes due now.
void LobbyProbeTargets(LobbyClient& c, uint32_t nowMs);
void LobbyTakeProbe(LobbyClient& c, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs);
void LobbyTakeRelayed(LobbyClient& c, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs);
// The path is found: the session begins over it on the client's socket.
void LobbyBeginSession(LobbyClient& c, const NetAddress& peer, uint32_t nowMs);
// In the match: the refreshes, and the relay when the direct path falls silent.
void LobbyServeSession(LobbyClient& c, uint32_t nowMs);
