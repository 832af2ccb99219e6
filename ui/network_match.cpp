// The window's network match: sockets, the host's or lobby's name looked up,
// the lobby client before the session, the session's frames in the window,
// the menu, the title and the end.
// Winsock's header comes first: after <windows.h> it would meet the older
// socket declarations.
#include <winsock2.h>

#include "ui/network_match.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "controls/action_sampling.h"
#include "controls/settings_store.h"
#include "computer/computer_player.h"
#include "engine/engine.h"
#include "engine/frame_gravity.h"
#include "resources/resource.h"
#include "ui/frame_pacing.h"
#include "ui/frame_rendering.h"
#include "ui/kept_match.h"
#include "ui/match_recording.h"
#include "ui/window_handles.h"

const char HOST_MENU_TEXT[] = "Host a network match...";
const char JOIN_MENU_TEXT[] = "Join a network match...";
const char LEAVE_MENU_TEXT[] = "Leave the network match";
const char HOST_INTERNET_MENU_TEXT[] = "Host an internet match...";
const char JOIN_INTERNET_MENU_TEXT[] = "Join an internet match...";

#ifndef BLOCKTIDE_DEFAULT_LOBBY
#define BLOCKTIDE_DEFAULT_LOBBY ""
#endif

NetworkMatch networkMatch = {false, false, NetPhase::Closed, NET_DEFAULT_PORT, false, 0,
                             {"", NET_DEFAULT_PORT}, {"", NET_DEFAULT_PORT}, {}, false,
                             false, false, LobbyClientPhase::Closed, "", "", nullptr};

namespace {

bool MatchRuns() { return !(gameState.gameOver[0] && gameState.gameOver[1]); }

// A host as typed with its port, as titles write it: an IPv6 address in
// brackets ("[2001:db8::7]:41414"), else "lobby.example:41500".
void HostAndPortText(const char* host, uint16_t port, char* text, size_t size) {
  const bool ipv6 = std::strchr(host, ':') != nullptr;
  std::snprintf(text, size, ipv6 ? "[%s]:%u" : "%s:%u", host, static_cast<unsigned>(port));
}

// The frame's Stop, as the window's: both players out.
void ActStop(int) { gameState.gameOver[0] = gameState.gameOver[1] = true; }

int LocalPlayer() { return NetSessionStats(netSession).localPlayer; }

void ShowShadowBoxes() {
  for (int p = 0; p < PLAYERS; ++p) {
    SendMessageA(shadowCheck[p], BM_SETCHECK, gameState.shadowOn[p] != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

// What the window adds to an agreed frame: the kept match begun afresh and
// its own player's controls reloaded at a Start (as the Start button does),
// the computer reset, the boxes ticked, the tick fed with both actions and
// recorded.
void ReloadControls(void*) {
  KeepBeforeStart();
  LoadControls(LocalPlayer());
}
void ResetComputerAfterStart(void*) { ResetComputer(); }
void ShowShadowBox(void*, int) { ShowShadowBoxes(); }
void FeedTick(void*, const Action action[2]) { SessionFrameTickWith(action); }

Action SampleOwnPlayer(void*, int32_t player) { return SampleAction(player); }

bool ApplyNetworkFrame(void*, const NetFrame& frame) {
  const NetFrameHost host = {nullptr,  &session.recorder, ReloadControls, ResetComputerAfterStart,
                             ShowShadowBox, FeedTick, RunGravityTick};
  NetApplyFrame(frame, host);
  KeepAfterTick();  // a Stop ends a match outside the ticks
  return true;
}

// While a frame waits for the other side's input, its datagram wakes the
// window at once rather than at the next frame timer message. Only then:
// under Wine every such message costs a round to the Wine server, and
// most datagrams come before their frame is due.
void WakeOnDatagram(bool wake) {
  const NetSocket socket = NetSessionSocket(netSession);
  if (wake == networkMatch.wakeOnDatagram || socket == NET_NO_SOCKET) return;
  networkMatch.wakeOnDatagram = wake;
  WSAAsyncSelect(static_cast<SOCKET>(socket), mainWindow, wake ? WM_NETWORK : 0, wake ? FD_READ : 0);
}

// Before the session plays, an invite match's title tells of the lobby and
// the code rather than of ports.
void InviteTitle(char* title, size_t size) {
  if (!LobbyClientFigures(lobbyClient).host) {
    std::snprintf(title, size, "%s - joining invite code %s", MAIN_WINDOW_TITLE, networkMatch.code);
  } else if (networkMatch.code[0] == '\0') {
    std::snprintf(title, size, "%s - asking the lobby %s for an invite code", MAIN_WINDOW_TITLE, networkMatch.lobby);
  } else {
    std::snprintf(title, size, "%s - invite code %s, waiting for a player", MAIN_WINDOW_TITLE, networkMatch.code);
  }
}

// The host's code, shown until a player came or the match is over.
void CloseCodeDialog() {
  if (networkMatch.codeDialog != nullptr) DestroyWindow(networkMatch.codeDialog);
  networkMatch.codeDialog = nullptr;
}
void OpenCodeDialog() {
  if (networkMatch.codeDialog == nullptr) {
    networkMatch.codeDialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_INVITE_CODE), mainWindow,
                                                 InviteCodeDialog, reinterpret_cast<LPARAM>(networkMatch.code));
  }
  if (networkMatch.codeDialog == nullptr) return;
  // A new code, after the lobby gave the room up: the dialog shows it.
  SetDlgItemTextA(networkMatch.codeDialog, IDC_INVITE_CODE, networkMatch.code);
  ShowWindow(networkMatch.codeDialog, SW_SHOW);
}

// The lobby client before (and while) its session runs: false when none.
bool InviteBeforeSession() {
  const LobbyClientPhase p = LobbyClientFigures(lobbyClient).phase;
  return networkMatch.invite && (p == LobbyClientPhase::Asking || p == LobbyClientPhase::Waiting ||
                                 p == LobbyClientPhase::Punching);
}

// The title, the menu and the Config buttons follow the session.
void ShowNetworkState() {
  const NetStats stats = NetSessionStats(netSession);
  const bool lookingUp = networkMatch.lookUp.thread != nullptr;
  const NetPhase phase = lookingUp ? NetPhase::Joining : NetworkMatchOn() ? stats.phase : NetPhase::Closed;
  const LobbyClientPhase invite = networkMatch.invite ? LobbyClientFigures(lobbyClient).phase : LobbyClientPhase::Closed;
  const bool connected = networkMatch.playing;
  for (int p = 0; p < PLAYERS; ++p) {
    // The own player's controls between matches only: a capture holds the
    // window (the session is served meanwhile, see controls/).
    const bool offered = !connected || (p == stats.localPlayer && !MatchRuns());
    HWND button = GetDlgItem(mainWindow, ID_CONFIG0 + p);
    if (button != nullptr && (IsWindowEnabled(button) != FALSE) != offered) EnableWindow(button, offered);
  }
  if (phase == networkMatch.shownPhase && lookingUp == networkMatch.shownLookUp &&
      invite == networkMatch.shownInvite) {
    return;
  }
  networkMatch.shownPhase = phase;
  networkMatch.shownLookUp = lookingUp;
  networkMatch.shownInvite = invite;
  char title[400];
  char peer[NET_ADDRESS_TEXT];
  NetPeerText(netSession, peer, sizeof peer);
  const bool played = phase == NetPhase::Playing || phase == NetPhase::Ended;
  if (lookingUp) {
    const HostLookUp& l = networkMatch.lookUp;
    char host[NET_HOST_TEXT + 8];
    if (std::strchr(l.name, ':') != nullptr) {
      HostAndPortText(l.name, l.port, host, sizeof host);
    } else {
      std::snprintf(host, sizeof host, "%s", l.name);
    }
    std::snprintf(title, sizeof title, "%s - looking up %s", MAIN_WINDOW_TITLE, host);
  } else if (networkMatch.invite && played) {
    // Relayed, the session's peer is the lobby: the title names the other
    // player as the lobby saw it, written as any title writes a peer. The
    // family is the path's, which may differ from that address's.
    const LobbyClientStats invited = LobbyClientFigures(lobbyClient);
    if (invited.path == LobbyPath::Relayed) FormatPeerAddress(invited.peerPublic, peer, sizeof peer);
    std::snprintf(title, sizeof title, "%s - connected to %s (%s over %s, delay %u frames)", MAIN_WINDOW_TITLE, peer,
                  invited.path == LobbyPath::Relayed ? "relayed" : "direct",
                  LobbyPathFamily(lobbyClient), static_cast<unsigned>(stats.delay));
  } else if (networkMatch.invite && invite != LobbyClientPhase::Closed && invite != LobbyClientPhase::Failed) {
    InviteTitle(title, sizeof title);
  } else if (phase == NetPhase::Hosting || phase == NetPhase::Greeting) {
    std::snprintf(title, sizeof title, "%s - waiting for a player on port %u", MAIN_WINDOW_TITLE,
                  static_cast<unsigned>(networkMatch.port));
  } else if (phase == NetPhase::Joining && peer[0] == '[') {
    std::snprintf(title, sizeof title, "%s - joining %s", MAIN_WINDOW_TITLE, peer);  // the port is in it
  } else if (phase == NetPhase::Joining) {
    std::snprintf(title, sizeof title, "%s - joining %s port %u", MAIN_WINDOW_TITLE, peer,
                  static_cast<unsigned>(networkMatch.port));
  } else if (played) {
    std::snprintf(title, sizeof title, "%s - connected to %s (delay %u frames)", MAIN_WINDOW_TITLE, peer,
                  static_cast<unsigned>(stats.delay));
  } else {
    std::snprintf(title, sizeof title, "%s", MAIN_WINDOW_TITLE);
  }
  SetWindowTextA(mainWindow, title);

  HMENU menu = GetSystemMenu(mainWindow, FALSE);
  const bool on = NetworkMatchOn() && !lookingUp;
  for (UINT item : {IDM_HOST_NETWORK, IDM_JOIN_NETWORK, IDM_HOST_INTERNET, IDM_JOIN_INTERNET}) {
    EnableMenuItem(menu, item, MF_BYCOMMAND | (on ? MF_GRAYED : MF_ENABLED));
  }
  if (on && !networkMatch.shownOn) AppendMenuA(menu, MF_STRING, IDM_LEAVE_NETWORK, LEAVE_MENU_TEXT);
  if (!on) DeleteMenu(menu, IDM_LEAVE_NETWORK, MF_BYCOMMAND);
  networkMatch.shownOn = on;
}

// The session is over (or left), or the lobby client failed (`why`, its
// text): the match it ran ends, gravity goes back to the timers, and the
// window is a local game again. `tell`: the reason in a message, once the
// title says "BlockTide".
void EndNetworkMatch(bool tell, const char* why = nullptr) {
  char text[300];
  const NetStats stats = NetSessionStats(netSession);
  // The session's pace, for whoever looks at the debug output.
  std::snprintf(text, sizeof text,
                "BlockTide: network: frames %u in %u ms, waits %u, held %u, late frames dropped %u, round trip %u "
                "ms, delay %u\n",
                static_cast<unsigned>(stats.frames),
                static_cast<unsigned>(networkMatch.playing ? timerCalls.getTime() - networkMatch.playingSinceMs : 0),
                static_cast<unsigned>(stats.waits), static_cast<unsigned>(stats.holds),
                static_cast<unsigned>(stats.lateFrames), static_cast<unsigned>(stats.rttMs),
                static_cast<unsigned>(stats.delay));
  OutputDebugStringA(text);
  if (networkMatch.invite) {
    const LobbyClientStats invited = LobbyClientFigures(lobbyClient);
    std::snprintf(text, sizeof text, "BlockTide: invite: path %s, probes sent %llu, answered %llu, dropped %llu\n",
                  invited.path == LobbyPath::Direct    ? "direct"
                  : invited.path == LobbyPath::Relayed ? "relayed"
                                                       : "none",
                  static_cast<unsigned long long>(invited.probesSent),
                  static_cast<unsigned long long>(invited.probesAnswered),
                  static_cast<unsigned long long>(invited.dropped));
    OutputDebugStringA(text);
  }
  std::snprintf(text, sizeof text, "The network match %s: %s.", networkMatch.playing ? "ended" : "could not begin",
                why != nullptr ? why : NetEndText(netSession));
  // Before its session the client holds the socket; after, the session does.
  if (networkMatch.invite && LobbyClientFigures(lobbyClient).phase != LobbyClientPhase::Session) {
    LobbyClientClose(lobbyClient);
  }
  networkMatch.invite = false;
  networkMatch.code[0] = '\0';
  CloseCodeDialog();
  NetClose(netSession);  // the socket's messages go with it
  networkMatch.wakeOnDatagram = false;
  if (MatchRuns()) RunCommand(ID_STOP, ActStop);
  networkMatch.playing = false;
  remoteWell[0] = remoteWell[1] = false;
  SetNetworkPace(false);
  ShowNetworkState();
  if (tell) Tell(text, true);
}

// Both programs begin the frames from the same state: nothing of what
// either played before may reach the digests.
void BeginPlaying() {
  const int own = LocalPlayer();
  const bool ownShadow = SendMessageA(shadowCheck[own], BM_GETCHECK, 0, 0) == BST_CHECKED;
  NetBeginMatchState();  // the session's tally starts at 0 on both
  ShowShadowBoxes();
  if (ownShadow) NetRequestShadow(netSession, own, 1);
  CloseCodeDialog();  // the code is used
  networkMatch.playing = true;
  remoteWell[1 - own] = true;
  networkMatch.playingSinceMs = timerCalls.getTime();
}

// The look-up's thread: the system's resolver may take seconds (a name
// server far away or gone), which the window must not wait out.
DWORD WINAPI LookUpHost(void*) {
  HostLookUp& l = networkMatch.lookUp;
  l.found = ResolveHost(l.name, l.port, l.address, l.error, sizeof l.error);
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
  networkMatch.wakeOnDatagram = false;
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
  networkMatch.code[0] = '\0';
  if (!host) FormatLobbyCode(code, networkMatch.code);
  const bool begun =
      host ? LobbyHostInvite(lobbyClient, netSession, lobbies, lobbyCount, DefaultNetOptions(), now)
           : LobbyJoinInvite(lobbyClient, netSession, lobbies, lobbyCount, code, DefaultNetOptions(), now);
  if (!begun) {
    EndNetworkMatch(true, LobbyClientText(lobbyClient));
    return false;
  }
  networkMatch.wakeOnDatagram = false;
  SetNetworkPace(true);  // the client is polled at the frame pace too
  ShowNetworkState();
  return true;
}

// The lobby client's events: false when it failed (the match then ended).
bool TakeInviteEvents() {
  for (LobbyClientEvent e = LobbyTakeClientEvent(lobbyClient); e != LobbyClientEvent::None;
       e = LobbyTakeClientEvent(lobbyClient)) {
    if (e == LobbyClientEvent::CodeGiven) {
      FormatLobbyCode(LobbyClientFigures(lobbyClient).code, networkMatch.code);
      OpenCodeDialog();
    }
    if (e == LobbyClientEvent::Failed) {
      EndNetworkMatch(true, LobbyClientText(lobbyClient));
      return false;
    }
    // Path: the session has begun; its own Connected and Ended follow.
  }
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
  l.found = 0;
  l.cancelled = false;
  l.thread = CreateThread(nullptr, 0, LookUpHost, nullptr, 0, nullptr);
  if (l.thread == nullptr) {
    // No thread to be had: look it up here, as the only way left.
    l.found = ResolveHost(l.name, l.port, l.address, l.error, sizeof l.error);
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

bool NetworkMatchOn() { return NetSessionStats(netSession).phase != NetPhase::Closed || InviteBeforeSession(); }

void KnownLobby(char* text, size_t size) {
  if (!LoadLobbyAddress(text, size)) std::snprintf(text, size, "%s", BLOCKTIDE_DEFAULT_LOBBY);
}

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
    BeginInvite(l.role == NetworkRole::HostInvite, l.address, l.found, l.code);
  } else if (BeginSession(false, l.address[0], l.port) && l.found > 1) {
    NetAlsoJoin(netSession, l.address[1], timerCalls.getTime());
  }
}

void AddNetworkMenuItems(bool replay) {
  HMENU menu = GetSystemMenu(mainWindow, FALSE);
  const UINT state = replay ? MF_GRAYED : MF_ENABLED;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | state, IDM_HOST_NETWORK, HOST_MENU_TEXT);
  AppendMenuA(menu, MF_STRING | state, IDM_JOIN_NETWORK, JOIN_MENU_TEXT);
  AppendMenuA(menu, MF_STRING | state, IDM_HOST_INTERNET, HOST_INTERNET_MENU_TEXT);
  AppendMenuA(menu, MF_STRING | state, IDM_JOIN_INTERNET, JOIN_INTERNET_MENU_TEXT);
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

bool NetworkCommand(int id, void (*act)(int id)) {
  const bool shadow = id >= ID_SHADOW0 && id < ID_SHADOW0 + PLAYERS;
  const bool config = id >= ID_CONFIG0 && id < ID_CONFIG0 + PLAYERS;
  if (id != ID_START && id != ID_STOP && !shadow && !config) return false;
  if (!networkMatch.playing) {
    ShowShadowBoxes();  // nothing to send a switch to yet
  } else if (id == ID_START) {
    NetRequestStart(netSession);
  } else if (id == ID_STOP) {
    NetRequestStop(netSession);
  } else if (shadow) {
    // The box shows the click; the switch itself comes with the frame both
    // programs run it at.
    const int p = id - ID_SHADOW0;
    NetRequestShadow(netSession, p, SendMessageA(shadowCheck[p], BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
  }
  if (config && id - ID_CONFIG0 == LocalPlayer() && !(networkMatch.playing && MatchRuns())) {
    act(id);
  }
  return true;
}

void RunNetworkFrames() {
  if (!NetworkMatchOn()) return;
  NetSession& s = netSession;
  const uint32_t now = timerCalls.getTime();
  if (networkMatch.invite) {
    LobbyClientPoll(lobbyClient, now);  // NetPoll, once the session has begun
    if (!TakeInviteEvents()) return;
  } else {
    NetPoll(s, now);
  }
  for (NetEvent e = NetTakeEvent(s); e != NetEvent::None; e = NetTakeEvent(s)) {
    if (e == NetEvent::Connected) BeginPlaying();
    if (e == NetEvent::Ended) {
      EndNetworkMatch(true);
      return;
    }
  }
  if (!networkMatch.playing) {
    RunDueFrameTicks();  // the handshake goes on: the local title meanwhile
    ShowNetworkState();
    return;
  }
  BeginFrameDrawing();
  const NetFrameCalls calls = {nullptr, SampleOwnPlayer, ApplyNetworkFrame};
  const NetRun run = NetRunFrames(s, now, NET_FRAMES_PER_MESSAGE, calls);
  EndFrameDrawing();
  WakeOnDatagram(run.waited);
  if (NetTakeEvent(s) == NetEvent::Ended) {
    EndNetworkMatch(true);
    return;
  }
  ShowNetworkState();
}

void PollNetworkDuringCapture() {
  if (!NetworkMatchOn()) return;
  // The client's events wait for the next frame timer message.
  if (networkMatch.invite) {
    LobbyClientPoll(lobbyClient, timerCalls.getTime());
  } else {
    NetPoll(netSession, timerCalls.getTime());
  }
}

void LeaveNetworkMatch() {
  networkMatch.lookUp.cancelled = true;  // a look-up under way ends unused
  if (!NetworkMatchOn()) return;
  // Before its session an invite match has only the lobby client to end.
  if (NetSessionStats(netSession).phase != NetPhase::Closed) NetLeave(netSession, timerCalls.getTime());
  EndNetworkMatch(false);
}

void EndNetworkSockets() {
  if (!networkMatch.socketsBegun) return;
  EndSockets();
  networkMatch.socketsBegun = false;
}
