// The window's network match: sockets, the host name's look-up, the
// session's frames in the window, the menu, the title and the end.
// Winsock's header comes first: after <windows.h> it would meet the older
// socket declarations.
#include <winsock2.h>

#include "ui/network_match.h"

#include <cstdio>

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

NetworkMatch networkMatch = {false, false, NetPhase::Closed, NET_DEFAULT_PORT, false, 0,
                             {"", NET_DEFAULT_PORT}, {"", NET_DEFAULT_PORT}, {}, false};

namespace {

bool MatchRuns() { return !(gameState.gameOver[0] && gameState.gameOver[1]); }

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

// The title, the menu and the Config buttons follow the session.
void ShowNetworkState() {
  const NetStats stats = NetSessionStats(netSession);
  const bool lookingUp = networkMatch.lookUp.thread != nullptr;
  const NetPhase phase = lookingUp ? NetPhase::Joining : NetworkMatchOn() ? stats.phase : NetPhase::Closed;
  const bool connected = networkMatch.playing;
  for (int p = 0; p < PLAYERS; ++p) {
    // The own player's controls between matches only: a capture holds the
    // window (the session is served meanwhile, see controls/).
    const bool offered = !connected || (p == stats.localPlayer && !MatchRuns());
    HWND button = GetDlgItem(mainWindow, ID_CONFIG0 + p);
    if (button != nullptr && (IsWindowEnabled(button) != FALSE) != offered) EnableWindow(button, offered);
  }
  if (phase == networkMatch.shownPhase && lookingUp == networkMatch.shownLookUp) return;
  const NetPhase was = networkMatch.shownPhase;
  networkMatch.shownPhase = phase;
  networkMatch.shownLookUp = lookingUp;
  char title[400];
  char peer[NET_ADDRESS_TEXT];
  NetPeerText(netSession, peer, sizeof peer);
  if (lookingUp) {
    std::snprintf(title, sizeof title, "%s - looking up %s", MAIN_WINDOW_TITLE, networkMatch.lookUp.name);
  } else if (phase == NetPhase::Hosting || phase == NetPhase::Greeting) {
    std::snprintf(title, sizeof title, "%s - waiting for a player on port %u", MAIN_WINDOW_TITLE,
                  static_cast<unsigned>(networkMatch.port));
  } else if (phase == NetPhase::Joining) {
    std::snprintf(title, sizeof title, "%s - joining %s port %u", MAIN_WINDOW_TITLE, peer,
                  static_cast<unsigned>(networkMatch.port));
  } else if (phase == NetPhase::Playing || phase == NetPhase::Ended) {
    std::snprintf(title, sizeof title, "%s - connected to %s (delay %u frames)", MAIN_WINDOW_TITLE, peer,
                  static_cast<unsigned>(stats.delay));
  } else {
    std::snprintf(title, sizeof title, "%s", MAIN_WINDOW_TITLE);
  }
  SetWindowTextA(mainWindow, title);

  HMENU menu = GetSystemMenu(mainWindow, FALSE);
  const bool on = phase != NetPhase::Closed && !lookingUp;
  EnableMenuItem(menu, IDM_HOST_NETWORK, MF_BYCOMMAND | (on ? MF_GRAYED : MF_ENABLED));
  EnableMenuItem(menu, IDM_JOIN_NETWORK, MF_BYCOMMAND | (on ? MF_GRAYED : MF_ENABLED));
  if (on && was == NetPhase::Closed) AppendMenuA(menu, MF_STRING, IDM_LEAVE_NETWORK, LEAVE_MENU_TEXT);
  if (!on) DeleteMenu(menu, IDM_LEAVE_NETWORK, MF_BYCOMMAND);
}

// The session is over (or left): the match it ran ends, gravity goes back
// to the timers, and the window is a local game again. `tell`: the reason
// in a message, once the title says "BlockTide".
void EndNetworkMatch(bool tell) {
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
  std::snprintf(text, sizeof text, "The network match %s: %s.", networkMatch.playing ? "ended" : "could not begin",
                NetEndText(netSession));
  NetClose(netSession);  // the socket's messages go with it
  networkMatch.wakeOnDatagram = false;
  if (MatchRuns()) RunCommand(ID_STOP, ActStop);
  networkMatch.playing = false;
  SetNetworkPace(false);
  ShowNetworkState();
  if (tell) Tell(text, true);
}

// Both programs begin the frames from the same state: nothing of what
// either played before may reach the digests.
void BeginPlaying() {
  const int own = LocalPlayer();
  const bool ownShadow = SendMessageA(shadowCheck[own], BM_GETCHECK, 0, 0) == BST_CHECKED;
  gameState = GameState{};
  gameState.gameOver[0] = gameState.gameOver[1] = true;
  matchFigures = MatchFigures{};  // the session's tally starts at 0 on both
  randState = 0;
  frameGravity = FrameGravity{};
  for (int p = 0; p < PLAYERS; ++p) ArmFrameGravity(frameGravity, p, GRAVITY_BASE_MS);
  ShowShadowBoxes();
  if (ownShadow) NetRequestShadow(netSession, own, 1);
  networkMatch.playing = true;
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

bool BeginNetworkSession(bool host, const char* address, uint16_t port) {
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

}  // namespace

bool NetworkMatchOn() { return NetSessionStats(netSession).phase != NetPhase::Closed; }

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
  if (BeginSession(false, l.address[0], l.port) && l.found > 1) {
    NetAlsoJoin(netSession, l.address[1], timerCalls.getTime());
  }
}

void AddNetworkMenuItems(bool replay) {
  HMENU menu = GetSystemMenu(mainWindow, FALSE);
  const UINT state = replay ? MF_GRAYED : MF_ENABLED;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | state, IDM_HOST_NETWORK, HOST_MENU_TEXT);
  AppendMenuA(menu, MF_STRING | state, IDM_JOIN_NETWORK, JOIN_MENU_TEXT);
}

void BeginLaunchNetworkMatch(const LaunchOptions& options) {
  if (options.network == NetworkRole::Host) HostNetworkMatch(options.port);
  if (options.network == NetworkRole::Join) JoinNetworkMatch(options.peerHost.c_str(), options.port);
}

bool HostNetworkMatch(uint16_t port) { return BeginNetworkSession(true, "", port); }

bool JoinNetworkMatch(const char* address, uint16_t port) { return BeginNetworkSession(false, address, port); }

bool OnNetworkMenu(UINT item) {
  if (item == IDM_LEAVE_NETWORK) {
    LeaveNetworkMatch();
    return true;
  }
  if (item != IDM_HOST_NETWORK && item != IDM_JOIN_NETWORK) return false;
  const bool busy = NetworkMatchOn() || networkMatch.lookUp.thread != nullptr;
  if (busy || session.replay != ReplayState::NotReplaying) return true;
  const bool host = item == IDM_HOST_NETWORK;
  NetworkDialogFields& fields = host ? networkMatch.hostFields : networkMatch.joinFields;
  const INT_PTR answer = DialogBoxParamA(instance, MAKEINTRESOURCEA(host ? IDD_HOST : IDD_JOIN), mainWindow,
                                         NetworkDialog, reinterpret_cast<LPARAM>(&fields));
  if (answer == IDOK) BeginNetworkSession(host, fields.address, fields.port);
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
  NetPoll(s, now);
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
  if (NetworkMatchOn()) NetPoll(netSession, timerCalls.getTime());
}

void LeaveNetworkMatch() {
  networkMatch.lookUp.cancelled = true;  // a look-up under way ends unused
  if (!NetworkMatchOn()) return;
  NetLeave(netSession, timerCalls.getTime());
  EndNetworkMatch(false);
}

void EndNetworkSockets() {
  if (!networkMatch.socketsBegun) return;
  EndSockets();
  networkMatch.socketsBegun = false;
}
