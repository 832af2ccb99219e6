// The window's network match: the session (net/) driven by the frame timer
// and the socket's messages, its frames run through the engine and the
// recorder, the system menu's items, the dialogs' use and the title.
#pragma once

#include <windows.h>

#include <cstdint>

#include "net/net_session.h"
#include "ui/launch_options.h"
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
extern const char HOST_MENU_TEXT[];   // "Host a network match..."
extern const char JOIN_MENU_TEXT[];   // "Join a network match..."
extern const char LEAVE_MENU_TEXT[];  // "Leave the network match"

// The joiner's look-up of the host's name, on a thread of its own. The
// thread writes `found`, `address` and `error`, then posts
// WM_NETWORK_LOOKED_UP; the window reads them only after that.
struct HostLookUp {
  HANDLE thread;             // null: no look-up under way
  char name[256];
  uint16_t port;
  NetAddress address[NET_HOST_ADDRESSES];  // IPv6 first: both are tried
  int32_t found;             // addresses found; 0: `error` says why
  char error[300];
  bool cancelled;            // Leave or the window's end came first: the answer is not used
};

struct NetworkMatch {
  bool socketsBegun;         // BeginSockets succeeded: EndSockets on the way out
  bool playing;              // the session's frames run (both programs' wells agree)
  NetPhase shownPhase;       // what the title and the menu show
  uint16_t port;             // hosting: the port; joining: the host's
  bool wakeOnDatagram;       // WM_NETWORK asked for: a frame waits for the other side
  uint32_t playingSinceMs;   // when the frames began (timeGetTime)
  NetworkDialogFields hostFields;  // what the dialogs showed last
  NetworkDialogFields joinFields;
  HostLookUp lookUp;
  bool shownLookUp;          // the title shows the look-up
};
extern NetworkMatch networkMatch;

// A session exists: hosting, joining, or playing.
bool NetworkMatchOn();

// OnCreate: the system menu's Host and Join items (greyed in a replay).
void AddNetworkMenuItems(bool replay);
// The entry point, once the window exists: --host or --join.
void BeginLaunchNetworkMatch(const LaunchOptions& options);
// WM_SYSCOMMAND: Host and Join open their dialog and begin; Leave leaves.
// False for any other item.
bool OnNetworkMenu(UINT item);
// Hosting or joining: false, after telling why, when it cannot begin.
bool HostNetworkMatch(uint16_t port);
bool JoinNetworkMatch(const char* address, uint16_t port);

// A window command while NetworkMatchOn (instead of RunCommand): Start and
// Stop asked of both programs, a Shadow box sent as an event; Config, the
// window's side act(id), only for the own player between matches. True
// when the command was one of the window's buttons or boxes.
bool NetworkCommand(int id, void (*act)(int id));

// The frame timer's message and WM_NETWORK while NetworkMatchOn: polls the
// session, then runs the frames due whose inputs are here (at most
// NET_FRAMES_PER_MESSAGE); before the handshake ends, the local frames.
// When the session has ended: the window goes on as a local game, and a
// message says why.
void RunNetworkFrames();

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
