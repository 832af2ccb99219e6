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
// In the match both sides refresh the room every LOBBY_MATCH_REFRESH_MS (by
// ticket: the lobby then knows each side's address now, should a NAT have
// given a new one), and a direct path silent for LOBBY_FALLBACK_MS moves the
// session to the lobby's relay of the same room; the other side follows when
// the first relayed datagram comes.
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
constexpr uint32_t LOBBY_MATCH_REFRESH_MS = 4000; // in a match both sides refresh this often: the room and
                                                  // each side's NAT mapping towards the relay stay alive
constexpr uint32_t LOBBY_FALLBACK_MS = 3000;      // a direct path silent this long falls back to the relay

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

constexpr int32_t LOBBY_SPARES = 4;  // LobbyAddSpare's addresses at most

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
  Unavailable,  // "the lobby is unavailable" (its shared store does not answer)
};

// What the program may know of a client: for the title, the code dialog
// and the figures.
struct LobbyClientStats {
  LobbyClientPhase phase;
  bool host;
  uint64_t code;            // the code given (host) or joined (joiner)
  uint32_t codesGiven;      // host: more than one when the lobby gave a room up and gave a new code
  uint32_t reattaches;      // host: moves to another address of the lobby that answered
  LobbyPath path;
  NetAddress peerPublic;    // the other side's address as the lobby saw it
  uint32_t pathMs;          // when the path was found (the poll's clock)
  bool fellBack;            // the direct path fell silent and the match moved to the relay
  uint32_t fallbackSilenceMs; // ... after this long without a datagram from the other side
  uint64_t probesSent, probesAnswered, dropped, sendFaults;
  uint32_t receiveFaults;
};

// The record is lobby/'s own (lobby_client_state.h); the program's one
// client, and one more for tests that play both sides.
struct LobbyClient;

// The lobby's name's further addresses, tried in turn by a waiting host
// whose lobby process falls silent (a lobby of several processes over a
// shared store). Called after LobbyHostInvite; at most LOBBY_SPARES.
void LobbyAddSpare(LobbyClient& c, const NetAddress& lobby);

extern LobbyClient& lobbyClient;
extern LobbyClient& lobbyClientB;

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
LobbyClientStats LobbyClientFigures(const LobbyClient& c);
// The socket to wait on: the client's, or the session's once it has it.
NetSocket LobbyClientSocket(const LobbyClient& c);
// Ends a client whose session has not begun (the socket is closed); once it
// has, the session is ended as any other.
void LobbyClientClose(LobbyClient& c);
