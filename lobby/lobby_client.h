// A program's side of an invite-code match: asking the lobby for a code (the
// host) or for the host of a code (the joiner), hole punching towards the
// other side's addresses, and handing the path found to the network
// session, which then runs the lockstep over it as over any address.
//
// Who calls what:
//
//   start:  LobbyHostInvite or LobbyJoinInvite (one socket for all: the NAT
//           mapping the lobby saw is the one the other side punches to);
//   run:    LobbyClientPoll from the program's timer or loop, at least every
//           10 ms, in place of NetPoll: before a path it reads the socket
//           itself; once the session has begun it calls NetPoll, which
//           hands the lobby's and the peer's probes back here;
//   events: LobbyTakeClientEvent: CodeGiven (the host shows the code), then
//           Path (the session has begun: its own Connected and Ended follow)
//           or Failed (LobbyClientText says why);
//   end:    the session's own NetLeave / NetFinish / NetClose; LobbyClientClose
//           before a session began.
//
// The path: both sides probe the other's public and private addresses (and
// any address the other's probe came from), each probe again after 50, 100,
// 200 ... ms for up to 3 s; the joiner takes the first address whose probe
// was answered and joins there, or joins through the lobby's relay when none
// answered. Nothing is taken on trust: a lobby reply counts only when it
// names this client's ticket; a probe only with the room's token (from the
// lobby's CodeGiven or Peers); an answer only from the address probed and
// with that probe's nonce; the relay's datagrams only in the envelope with
// the token. Only unicast addresses the lobby gave (or the peer's probes came
// from) are probed, at most LOBBY_TARGETS, each at most LOBBY_PROBES_PER_TARGET
// times, whatever a lying lobby or peer says. A lobby with addresses of
// both families is asked over both (the second 250 ms after the first, or
// at once when the first answered), so that each side's public address of
// each family is known and both families are punched at once. The host accepts the Join
// from an address that probed it or from the lobby. Platform-free but for
// the socket layer; nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lobby/lobby_wire.h"
#include "net/net_session.h"
#include "net/net_socket.h"

constexpr uint32_t LOBBY_ASK_RESEND_MS = 250;   // a request to the lobby is repeated this often
constexpr uint32_t LOBBY_ANSWER_MS = 5000;      // ... and given up after this without an answer
constexpr uint32_t LOBBY_PROBE_MS = 50;         // a target's second probe after this, each next after twice the gap
constexpr int32_t LOBBY_PROBES_PER_TARGET = 7;  // probes one address gets at most (0, 50, 150, 350, 750 ... ms)
constexpr int32_t LOBBY_ANSWERS_PER_ADDRESS = 16; // probes answered per address at most
constexpr uint32_t LOBBY_PUNCH_MS = 3000;       // the joiner punches this long before the relay
constexpr uint32_t LOBBY_SECOND_FAMILY_MS = 250; // the lobby's second address is asked after this
constexpr int32_t LOBBY_TARGETS = 6;            // the other side's addresses probed at most

enum class LobbyClientPhase : uint8_t {
  Closed,
  Asking,    // Register or Join sent, no answer yet
  Waiting,   // host: the code is given; refreshing until a joiner comes
  Punching,  // both: the other's addresses known, probes going out
  Session,   // the path is found and the network session runs over it
  Failed,    // LobbyClientText says why
};

enum class LobbyPath : uint8_t { None, Direct, Relayed };

enum class LobbyClientEvent : uint8_t { None, CodeGiven, Path, Failed };

enum class LobbyFailure : uint8_t {
  None,
  NoLobby,      // "the lobby at ADDR does not answer"
  UnknownCode,  // "the lobby knows no invite code XXXX-XXXX"
  Expired,      // "the invite code XXXX-XXXX has expired"
  RateLimited,  // "the lobby refused: too many requests from this computer"
  SocketFault,  // the socket could not be made
  NobodyCame,   // host: nobody joined within the wait limit given
  Unreached,    // host: a player joined by the code but never reached this side
  Full,         // "the lobby is full"
  NoRandom,     // "this computer's secure random generator failed"
};

struct LobbyClient {
  LobbyClientPhase phase;
  bool host;
  NetSession* session;        // begun on the path found
  NetOptions options;         // for that session
  NetSocket socket = NET_NO_SOCKET;  // the session owns it once it has begun
  NetSendHook send;           // null: the socket (tests set their own)
  void* sendContext;
  NetAddress lobby;           // the lobby's address that answered first (the relay's)
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
  uint64_t probesSent, probesAnswered, dropped;
  uint32_t codesGiven;        // host: more than one when a room was given up and a new one asked for
};

// The program's one client (tests use a second).
extern LobbyClient lobbyClient;
extern LobbyClient lobbyClientB;

// Called by the program to host or join by code through the lobby at
// `lobbies` (1 or 2 addresses, as ResolveHost gives them): opens a UDP
// socket on any port and sends the first request. False, phase Failed with
// its text, when the socket cannot be made.
bool LobbyHostInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                     const NetOptions& options, uint32_t nowMs);
bool LobbyJoinInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                     uint64_t code, const NetOptions& options, uint32_t nowMs);
// The same without a socket: datagrams go to `send`, come in through
// LobbyClientReceive, and the session is begun with the same hook;
// `privates` are this side's addresses towards each of `lobbies`.
void LobbyBeginHostInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                          const NetAddress* privates, const NetOptions& options, NetSendHook send, void* context,
                          uint32_t nowMs);
void LobbyBeginJoinInvite(LobbyClient& c, NetSession& session, const NetAddress* lobbies, int32_t lobbyCount,
                          uint64_t code, const NetAddress* privates, const NetOptions& options, NetSendHook send,
                          void* context, uint32_t nowMs);
// The family of the path found: "IPv6" or "IPv4" (the lobby's when relayed).
const char* LobbyPathFamily(const LobbyClient& c);

// See the top. Never blocks, allocates nothing.
void LobbyClientPoll(LobbyClient& c, uint32_t nowMs);
// One datagram that came to this side's socket (the poll's, a test's).
void LobbyClientReceive(LobbyClient& c, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs);
// What time alone does: requests repeated, refreshes, probes, the relay chosen.
void LobbyClientService(LobbyClient& c, uint32_t nowMs);

LobbyClientEvent LobbyTakeClientEvent(LobbyClient& c);
// Why it failed ("" otherwise).
const char* LobbyClientText(const LobbyClient& c);
// The socket to wait on: the client's, or the session's once it has it.
NetSocket LobbyClientSocket(const LobbyClient& c);
// Ends a client whose session has not begun (the socket is closed); once it
// has, the session is ended as any other.
void LobbyClientClose(LobbyClient& c);
