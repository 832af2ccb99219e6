// The window's network match: the session (net/) driven by the frame timer
// and the socket's messages, its frames run through the engine and the
// recorder, the system menu's items, the dialogs' use and the title. An
// invite-code match is begun by the lobby client (lobby/), which the timer
// polls in the session's place and which hands the session its path.
#pragma once

#include <windows.h>

#include <cstdint>

#include "lobby/lobby_client.h"
#include "net/net_session.h"
#include "ui/launch_options.h"
#include "ui/invite_dialogs.h"
#include "ui/network_dialogs.h"

// Posted by Winsock to the main window when a datagram waits while a frame
// waits for it (WSAAsyncSelect).
constexpr UINT WM_NETWORK = WM_APP + 1;
// Posted by the host name's look-up thread when it has answered.
constexpr UINT WM_NETWORK_LOOKED_UP = WM_APP + 2;

// The system menu's items: below 0xF000 and with the low four bits clear,
// as WM_SYSCOMMAND's identifiers must be.
constexpr UINT IDM_HOST_NETWORK = 0x0210;
constexpr UINT IDM_JOIN_NETWORK = 0x0220;
constexpr UINT IDM_LEAVE_NETWORK = 0x0230;
constexpr UINT IDM_HOST_INTERNET = 0x0280;
constexpr UINT IDM_JOIN_INTERNET = 0x0290;
extern const char HOST_MENU_TEXT[];   // "Host a network match..."
extern const char JOIN_MENU_TEXT[];   // "Join a network match..."
extern const char LEAVE_MENU_TEXT[];  // "Leave the network match"
extern const char HOST_INTERNET_MENU_TEXT[];  // "Host an internet match..."
extern const char JOIN_INTERNET_MENU_TEXT[];  // "Join an internet match..."

// The joiner's look-up of the host's name, or either side's of the
// lobby's, on a thread of its own. The thread writes `found`, `address`
// and `error`, then posts WM_NETWORK_LOOKED_UP; the window reads them only
// after that.
struct HostLookUp {
  HANDLE thread;             // null: no look-up under way
  char name[256];
  uint16_t port;
  NetworkRole role;          // what follows: Join, HostInvite or JoinInvite
  uint64_t code;             // JoinInvite's
  NetAddress address[NET_NAME_ADDRESSES];  // one of each family first (IPv6 first): both are tried
  int32_t found;             // ... of them (0: `error` says why)
  int32_t all;               // all the name's addresses: an invite's lobby tries the others in turn
  char error[300];
  bool cancelled;            // Leave or the window's end came first: the answer is not used
};

struct NetworkMatch {
  bool socketsBegun;         // BeginSockets succeeded: EndSockets on the way out
  bool playing;              // the session's frames run (both programs' wells agree)
  NetPhase shownPhase;       // what the title and the menu show
  uint16_t port;             // hosting: the port; joining: the host's
  bool wakeOnDatagram;       // WM_NETWORK asked for: a frame waits for the other side
  bool wakeFailed;           // the system refused to wake the window on a datagram (said once)
  uint32_t playingSinceMs;   // when the frames began (timeGetTime)
  NetworkDialogFields hostFields;  // what the dialogs showed last
  NetworkDialogFields joinFields;
  HostLookUp lookUp;
  bool shownLookUp;          // the title shows the look-up
  bool shownOn;              // the menu shows a match under way (Leave offered)
  bool invite;               // lobbyClient runs this match: polled in the session's place
  LobbyClientPhase shownInvite;
  char lobby[256];           // the lobby as last given ("host[:port]"), for the title
  char code[LOBBY_CODE_TEXT];  // the invite code given (host) or typed (joiner); "" before
  HWND codeDialog;           // the host's IDD_INVITE_CODE, or null
  uint32_t waitSeconds;      // the other player is silent: seconds left before the match ends (0: not)
  uint32_t shownWait;        // ... as the title shows it
  LobbyPath shownPath;       // the invite path the title names (it may fall back to the relay)
  uint32_t shownMoves;       // the other player's moves the title has followed
  bool fallbackSaid;         // the invite's move to the relay, said in the debug output
};
extern NetworkMatch networkMatch;

// A session exists (hosting, joining, or playing), or the lobby client is
// asking or punching for one.
bool NetworkMatchOn();

// OnCreate: the system menu's Host and Join items, by address and by invite
// code (greyed in a replay).
void AddNetworkMenuItems(bool replay);
// The entry point, once the window exists: --host, --join, --host-invite or
// --join-invite.
void BeginLaunchNetworkMatch(const LaunchOptions& options);
// WM_SYSCOMMAND: the Host and Join items open their dialog and begin (the
// invite dialogs' lobby is stored as "Lobby" on OK); Leave leaves. False
// for any other item.
bool OnNetworkMenu(UINT item);
// Hosting or joining: false, after telling why, when it cannot begin.
bool HostNetworkMatch(uint16_t port);
bool JoinNetworkMatch(const char* address, uint16_t port);
// The same by invite code through the lobby at lobbyHost:lobbyPort (a name
// is looked up first, as a host's is).
bool HostInviteMatch(const char* lobbyHost, uint16_t lobbyPort);
bool JoinInviteMatch(const char* lobbyHost, uint16_t lobbyPort, uint64_t code);

// A window command while NetworkMatchOn (instead of RunCommand): Start and
// Stop asked of both programs, a Shadow box sent as an event; Config, the
// window's side act(id), only for the own player between matches. True
// when the command was one of the window's buttons or boxes.
bool NetworkCommand(int id, void (*act)(int id));

// The frame timer's message and WM_NETWORK while NetworkMatchOn: polls the
// session (through LobbyClientPoll in an invite match: the host's code is
// shown when it comes, and a failure said), then runs the frames due whose inputs are here (at most
// NET_FRAMES_PER_MESSAGE); before the handshake ends, the local frames.
// When the session has ended: the window goes on as a local game, and a
// message says why.
void RunNetworkFrames();
// WM_NETWORK with an error in it (WSAGETSELECTERROR): said once a session
// in the debug output; the poll that follows meets the fault itself, and a
// run of them ends the match naming the socket.
void NoteNetworkWakeError(int error);

// WM_NETWORK_LOOKED_UP: the join goes on to the address found, or a
// message says the name was not found.
void OnHostLookedUp();

// The configuration dialog's capture hook while NetworkMatchOn: a capture
// holds the window's thread, so it polls the session here (datagrams read
// and answered, keepalives sent); nothing else, no frame runs (a capture
// in a network match gives up after 3 s, within the other side's 5 s).
void PollNetworkDuringCapture();

// Leave (the menu) and WM_DESTROY: the other side is told at once.
void LeaveNetworkMatch();

// Every way out of the entry point: Winsock closed if it was begun.
void EndNetworkSockets();
struct NetworkSocketsRelease {
  NetworkSocketsRelease() = default;
  NetworkSocketsRelease(const NetworkSocketsRelease&) = delete;
  NetworkSocketsRelease& operator=(const NetworkSocketsRelease&) = delete;
  ~NetworkSocketsRelease() { EndNetworkSockets(); }
};
