// The window's network match begun: Winsock's lifetime, the host's or the
// lobby's name looked up on a thread of its own, the session or the lobby
// client begun, the network dialogs and the command line's roles.
// Winsock's header comes first: after <windows.h> it would meet the older
// socket declarations.
#include <winsock2.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "controls/settings_store.h"
#include "resources/resource.h"
#include "ui/frame_pacing.h"
#include "ui/match_recording.h"
#include "ui/network_match.h"
#include "ui/network_parts.h"
#include "ui/window_handles.h"

namespace {

// The frame's Stop, as the window's: both players out.
void ActStop(int) { gameState.gameOver[0] = gameState.gameOver[1] = true; }

// The look-up's thread: the system's resolver may take seconds (a name
// server far away or gone), which the window must not wait out.
DWORD WINAPI LookUpHost(void*) {
  HostLookUp& l = networkMatch.lookUp;
  l.all = ResolveHostAll(l.name, l.port, l.address, l.found, l.error, sizeof l.error);
  PostMessageA(mainWindow, WM_NETWORK_LOOKED_UP, 0, 0);
  return 0;
}

bool BeginSession(bool host, const NetAddress& peer, uint16_t port) {
  // Both programs begin at the title: a local match ends here.
  if (MatchRuns()) RunCommand(ID_STOP, ActStop);
  networkMatch.port = port;
  const uint32_t now = timerCalls.getTime();
  const bool begun = host ? NetHost(netSession, port, DefaultNetOptions(), now)
                          : NetJoin(netSession, peer, DefaultNetOptions(), now);
  if (!begun) {
    EndNetworkMatch(true);
    return false;
  }
  networkMatch.wakeOnDatagram = networkMatch.wakeFailed = false;
  SetNetworkPace(true);
  ShowNetworkState();
  return true;
}

// An invite match: the lobby client asks the lobby at `lobby` and begins
// the session on the path it finds.
bool BeginInvite(bool host, const NetAddress* lobbies, int32_t lobbyCount, uint64_t code) {
  if (MatchRuns()) RunCommand(ID_STOP, ActStop);
  const uint32_t now = timerCalls.getTime();
  networkMatch.invite = true;
  networkMatch.fallbackSaid = false;
  networkMatch.code[0] = '\0';
  if (!host) FormatLobbyCode(code, networkMatch.code);
  const bool begun =
      host ? LobbyHostInvite(lobbyClient, netSession, lobbies, lobbyCount, DefaultNetOptions(), now)
           : LobbyJoinInvite(lobbyClient, netSession, lobbies, lobbyCount, code, DefaultNetOptions(), now);
  if (!begun) {
    EndNetworkMatch(true, LobbyClientText(lobbyClient));
    return false;
  }
  networkMatch.wakeOnDatagram = networkMatch.wakeFailed = false;
  SetNetworkPace(true);  // the client is polled at the frame pace too
  ShowNetworkState();
  return true;
}

// Host by port, or look up the host's name (Join) or the lobby's (the
// invite roles) on the look-up thread.
bool BeginNetworkSession(NetworkRole role, const char* address, uint16_t port, uint64_t code = 0) {
  const bool host = role == NetworkRole::Host;
  char error[160];
  if (!networkMatch.socketsBegun && !BeginSockets(error, sizeof error)) {
    char text[300];
    std::snprintf(text, sizeof text, "No network match: %s.", error);
    Tell(text, true);
    return false;
  }
  networkMatch.socketsBegun = true;
  if (host) return BeginSession(true, NetAddress{}, port);
  if (networkMatch.lookUp.thread != nullptr) return false;  // one look-up at a time
  HostLookUp& l = networkMatch.lookUp;
  std::snprintf(l.name, sizeof l.name, "%s", address);
  l.port = port;
  l.role = role;
  l.code = code;
  l.found = l.all = 0;
  l.cancelled = false;
  l.thread = CreateThread(nullptr, 0, LookUpHost, nullptr, 0, nullptr);
  if (l.thread == nullptr) {
    // No thread to be had: look it up here, as the only way left.
    l.all = ResolveHostAll(l.name, l.port, l.address, l.found, l.error, sizeof l.error);
    OnHostLookedUp();
    return NetworkMatchOn();
  }
  ShowNetworkState();
  return true;
}

// A dialog's OK may be followed by a while of setting up (Winsock begun, the
// look-up's thread made) before the title says what is awaited: the title
// says so at once and the window paints what the dialog covered. Nothing
// begun (a failure told), the plain title again.
void SayConnecting() {
  char title[64];
  std::snprintf(title, sizeof title, "%s - Connecting...", MAIN_WINDOW_TITLE);
  SetWindowTextA(mainWindow, title);
  UpdateWindow(mainWindow);
}
void UnsayConnecting() {
  if (!NetworkMatchOn() && networkMatch.lookUp.thread == nullptr) SetWindowTextA(mainWindow, MAIN_WINDOW_TITLE);
}

}  // namespace

void OnHostLookedUp() {
  HostLookUp& l = networkMatch.lookUp;
  if (l.thread != nullptr) {
    WaitForSingleObject(l.thread, INFINITE);  // it posted its message last
    CloseHandle(l.thread);
    l.thread = nullptr;
  }
  ShowNetworkState();
  if (l.cancelled) return;
  if (l.found == 0) {
    char text[400];
    std::snprintf(text, sizeof text, "No network match: %s.", l.error);
    Tell(text, true);
    return;
  }
  if (l.role != NetworkRole::Join) {
    if (BeginInvite(l.role == NetworkRole::HostInvite, l.address, l.found, l.code)) {
      for (int32_t i = l.found; i < l.all; ++i) LobbyAddSpare(lobbyClient, l.address[i]);
    }
  } else if (BeginSession(false, l.address[0], l.port) && l.found > 1) {
    NetAlsoJoin(netSession, l.address[1], timerCalls.getTime());
  }
}

void BeginLaunchNetworkMatch(const LaunchOptions& options) {
  const char* lobby = options.lobbyHost.c_str();
  if (options.network == NetworkRole::Host) HostNetworkMatch(options.port);
  if (options.network == NetworkRole::Join) JoinNetworkMatch(options.peerHost.c_str(), options.port);
  if (options.network == NetworkRole::HostInvite) HostInviteMatch(lobby, options.lobbyPort);
  if (options.network == NetworkRole::JoinInvite) JoinInviteMatch(lobby, options.lobbyPort, options.inviteCode);
}

bool HostNetworkMatch(uint16_t port) { return BeginNetworkSession(NetworkRole::Host, "", port); }

bool JoinNetworkMatch(const char* address, uint16_t port) {
  return BeginNetworkSession(NetworkRole::Join, address, port);
}

bool HostInviteMatch(const char* lobbyHost, uint16_t lobbyPort) {
  HostAndPortText(lobbyHost, lobbyPort, networkMatch.lobby, sizeof networkMatch.lobby);
  return BeginNetworkSession(NetworkRole::HostInvite, lobbyHost, lobbyPort);
}

bool JoinInviteMatch(const char* lobbyHost, uint16_t lobbyPort, uint64_t code) {
  HostAndPortText(lobbyHost, lobbyPort, networkMatch.lobby, sizeof networkMatch.lobby);
  return BeginNetworkSession(NetworkRole::JoinInvite, lobbyHost, lobbyPort, code);
}

bool OnNetworkMenu(UINT item) {
  if (item == IDM_LEAVE_NETWORK) {
    LeaveNetworkMatch();
    return true;
  }
  const bool internet = item == IDM_HOST_INTERNET || item == IDM_JOIN_INTERNET;
  if (item != IDM_HOST_NETWORK && item != IDM_JOIN_NETWORK && !internet) return false;
  const bool busy = NetworkMatchOn() || networkMatch.lookUp.thread != nullptr;
  if (busy || session.replay != ReplayState::NotReplaying) return true;
  if (internet) {
    const bool host = item == IDM_HOST_INTERNET;
    InviteDialogFields fields = {};
    KnownLobby(fields.lobby, sizeof fields.lobby);
    const INT_PTR answer = DialogBoxParamA(instance, MAKEINTRESOURCEA(host ? IDD_HOST_INVITE : IDD_JOIN_INVITE),
                                           mainWindow, InviteDialog, reinterpret_cast<LPARAM>(&fields));
    if (answer == IDOK) {
      SayConnecting();
      SaveLobbyAddress(fields.lobby);
      std::string lobbyHost;
      uint16_t lobbyPort = LOBBY_DEFAULT_PORT;
      ParsePeerAddress(fields.lobby, lobbyHost, lobbyPort, LOBBY_DEFAULT_PORT);  // the dialog checked it
      if (host) HostInviteMatch(lobbyHost.c_str(), lobbyPort);
      if (!host) JoinInviteMatch(lobbyHost.c_str(), lobbyPort, fields.code);
      UnsayConnecting();
    }
    SetFocus(mainWindow);
    return true;
  }
  const bool host = item == IDM_HOST_NETWORK;
  NetworkDialogFields& fields = host ? networkMatch.hostFields : networkMatch.joinFields;
  const INT_PTR answer = DialogBoxParamA(instance, MAKEINTRESOURCEA(host ? IDD_HOST : IDD_JOIN), mainWindow,
                                         NetworkDialog, reinterpret_cast<LPARAM>(&fields));
  if (answer == IDOK) {
    SayConnecting();
    BeginNetworkSession(host ? NetworkRole::Host : NetworkRole::Join, fields.address, fields.port);
    UnsayConnecting();
  }
  SetFocus(mainWindow);
  return true;
}

void EndNetworkSockets() {
  if (!networkMatch.socketsBegun) return;
  EndSockets();
  networkMatch.socketsBegun = false;
}
