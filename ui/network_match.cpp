// The window's network match: sockets, the session's frames in the window,
// the menu, the title and the end. Winsock's header comes first: after
// <windows.h> it would meet the older socket declarations.
#include <winsock2.h>

#include "ui/network_match.h"

#include <cstdio>

#include "controls/action_sampling.h"
#include "controls/settings_store.h"
#include "computer/computer_player.h"
#include "engine/engine.h"
#include "net/frame_gravity.h"
#include "resources/resource.h"
#include "ui/frame_pacing.h"
#include "ui/frame_rendering.h"
#include "ui/match_recording.h"
#include "ui/window_handles.h"

static_assert(DEFAULT_NETWORK_PORT == NET_DEFAULT_PORT, "one default port for the command line and the session");

const char HOST_MENU_TEXT[] = "Host a network match...";
const char JOIN_MENU_TEXT[] = "Join a network match...";
const char LEAVE_MENU_TEXT[] = "Leave the network match";

NetworkMatch networkMatch = {false, false, NetPhase::Closed, DEFAULT_NETWORK_PORT, false, {}, 0, 0, 0,
                             {"", DEFAULT_NETWORK_PORT}, {"", DEFAULT_NETWORK_PORT}};

namespace {

bool MatchRuns() { return !(gameState.gameOver[0] && gameState.gameOver[1]); }

// The frame's Stop, as the window's: both players out.
void ActStop(int) { gameState.gameOver[0] = gameState.gameOver[1] = true; }

// The frame's Start: the generator the host chose is set before the
// recorder notes the Start, so that a replay sets it as well.
void ActStart(int) {
  LoadControls(netSession.localPlayer);
  ResetPlayer(0);
  ResetPlayer(1);
  ResetComputer();
}

void ShowShadowBoxes() {
  for (int p = 0; p < PLAYERS; ++p) {
    SendMessageA(shadowCheck[p], BM_SETCHECK, gameState.shadowOn[p] != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

void ActShadow(int id) {
  const int p = id - ID_SHADOW0;
  gameState.shadowOn[p] = networkMatch.frame.shadow[p];
  ShowShadowBoxes();
}

// While a frame waits for the other side's input, its datagram wakes the
// window at once rather than at the next frame timer message. Only then:
// under Wine every such message costs a round to the Wine server, and
// most datagrams come before their frame is due.
void WakeOnDatagram(bool wake) {
  if (wake == networkMatch.wakeOnDatagram || netSession.socket == NET_NO_SOCKET) return;
  networkMatch.wakeOnDatagram = wake;
  WSAAsyncSelect(static_cast<SOCKET>(netSession.socket), mainWindow, wake ? WM_NETWORK : 0, wake ? FD_READ : 0);
}

// The title, the menu and the Config buttons follow the session.
void ShowNetworkState() {
  const NetPhase phase = NetworkMatchOn() ? netSession.phase : NetPhase::Closed;
  const bool connected = networkMatch.playing;
  for (int p = 0; p < PLAYERS; ++p) {
    // The own player's controls between matches only: the capture blocks.
    const bool offered = !connected || (p == netSession.localPlayer && !MatchRuns());
    HWND button = GetDlgItem(mainWindow, ID_CONFIG0 + p);
    if (button != nullptr && (IsWindowEnabled(button) != FALSE) != offered) EnableWindow(button, offered);
  }
  if (phase == networkMatch.shownPhase) return;
  const NetPhase was = networkMatch.shownPhase;
  networkMatch.shownPhase = phase;
  char title[160];
  char peer[NET_ADDRESS_TEXT];
  NetPeerText(netSession, peer, sizeof peer);
  if (phase == NetPhase::Hosting || phase == NetPhase::Greeting) {
    std::snprintf(title, sizeof title, "%s - waiting for a player on port %u", MAIN_WINDOW_TITLE,
                  static_cast<unsigned>(networkMatch.port));
  } else if (phase == NetPhase::Joining) {
    std::snprintf(title, sizeof title, "%s - joining %s port %u", MAIN_WINDOW_TITLE, peer,
                  static_cast<unsigned>(networkMatch.port));
  } else if (phase == NetPhase::Playing || phase == NetPhase::Ended) {
    std::snprintf(title, sizeof title, "%s - connected to %s (delay %u frames)", MAIN_WINDOW_TITLE, peer,
                  static_cast<unsigned>(netSession.delay));
  } else {
    std::snprintf(title, sizeof title, "%s", MAIN_WINDOW_TITLE);
  }
  SetWindowTextA(mainWindow, title);

  HMENU menu = GetSystemMenu(mainWindow, FALSE);
  const bool on = phase != NetPhase::Closed;
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
  // The session's pace, for whoever looks at the debug output.
  std::snprintf(text, sizeof text,
                "BlockTide: network: frames %u in %u ms, waits %u, held %u, late frames dropped %u, round trip %u "
                "ms, delay %u\n",
                static_cast<unsigned>(netSession.frame),
                static_cast<unsigned>(networkMatch.playing ? timerCalls.getTime() - networkMatch.playingSinceMs : 0),
                static_cast<unsigned>(networkMatch.waits),
                static_cast<unsigned>(netSession.counters.holds), static_cast<unsigned>(networkMatch.lateFrames),
                static_cast<unsigned>(netSession.rttMs), static_cast<unsigned>(netSession.delay));
  OutputDebugStringA(text);
  std::snprintf(text, sizeof text, "The network match %s: %s.", networkMatch.playing ? "ended" : "could not begin",
                netSession.endText);
  NetClose(netSession);  // the socket's messages go with it
  netSession.phase = NetPhase::Closed;
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
  const bool ownShadow = SendMessageA(shadowCheck[netSession.localPlayer], BM_GETCHECK, 0, 0) == BST_CHECKED;
  gameState = GameState{};
  gameState.gameOver[0] = gameState.gameOver[1] = true;
  randState = 0;
  frameGravity = FrameGravity{};
  for (int p = 0; p < PLAYERS; ++p) ArmFrameGravity(frameGravity, p, GRAVITY_BASE_MS);
  ShowShadowBoxes();
  if (ownShadow) NetRequestShadow(netSession, netSession.localPlayer, 1);
  networkMatch.playing = true;
  networkMatch.waits = networkMatch.lateFrames = 0;
  networkMatch.playingSinceMs = timerCalls.getTime();
}

// One frame both programs run: its events, then the tick with both
// actions, then the gravity due by the frame count.
void RunNetworkFrame(const NetFrame& f) {
  networkMatch.frame = f;
  if (f.start) {
    SetNetGenerator(f.generator);
    RunCommand(ID_START, ActStart);
  }
  if (f.stop && MatchRuns()) RunCommand(ID_STOP, ActStop);
  for (int p = 0; p < PLAYERS; ++p) {
    if (f.shadowSet[p]) RunCommand(ID_SHADOW0 + p, ActShadow);
  }
  AdvanceFrameGravity(frameGravity);
  SessionFrameTickWith(f.action);
  RunDueGravity(frameGravity, RunGravityTick);
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
  NetAddress peer = {0, port};
  if (!host && !ResolveHost(address, peer)) {
    char text[400];
    std::snprintf(text, sizeof text, "No network match: %s names no IPv4 address.", address);
    Tell(text, true);
    return false;
  }
  peer.port = port;
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

}  // namespace

bool NetworkMatchOn() { return netSession.phase != NetPhase::Closed; }

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
  if (NetworkMatchOn() || session.replay != ReplayState::NotReplaying) return true;
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
  if (config && id - ID_CONFIG0 == netSession.localPlayer && !(networkMatch.playing && MatchRuns())) {
    act(id);
  }
  return true;
}

void RunNetworkFrames() {
  if (!NetworkMatchOn()) return;
  NetSession& s = netSession;
  const uint32_t now = timerCalls.getTime();
  NetPoll(s, now);
  if (!NetPlaying(s)) {
    if (s.phase == NetPhase::Ended) {
      EndNetworkMatch(true);
      return;
    }
    RunDueFrameTicks();  // the handshake goes on: the local title meanwhile
    ShowNetworkState();
    return;
  }
  if (!networkMatch.playing) BeginPlaying();
  // Frame N is due at clockStartMs + 10 N (the session's clock). Far
  // behind it (a stalled program), the time past MAX_LATE_FRAMES is dropped
  // and the other side holds back to match.
  const int32_t behind = static_cast<int32_t>(now - s.clockStartMs - s.frame * FRAME_PERIOD_MS) /
                         static_cast<int32_t>(FRAME_PERIOD_MS);
  if (behind > static_cast<int32_t>(MAX_LATE_FRAMES)) {
    networkMatch.lateFrames += static_cast<uint32_t>(behind) - MAX_LATE_FRAMES;
    s.clockStartMs += static_cast<uint32_t>(behind - static_cast<int32_t>(MAX_LATE_FRAMES)) * FRAME_PERIOD_MS;
  }
  bool waiting = false;
  BeginFrameDrawing();
  for (int32_t ran = 0; ran < NET_FRAMES_PER_MESSAGE; ++ran) {
    if (!NetFrameDue(s, now)) break;
    if (NetWantsLocal(s)) NetSubmitLocal(s, SampleAction(s.localPlayer), now);
    NetFrame frame;
    if (!NetNextFrame(s, frame)) {
      waiting = true;
      networkMatch.waits += 1;
      break;
    }
    RunNetworkFrame(frame);
    NetFrameDone(s, now);
  }
  EndFrameDrawing();
  WakeOnDatagram(waiting);
  // The other side left: its frames sent before have run.
  if (s.phase == NetPhase::Ended && (s.endReason != NetEnd::Left || !NetFrameReady(s))) {
    EndNetworkMatch(true);
    return;
  }
  ShowNetworkState();
}

void PollNetworkDuringCapture() {
  if (NetworkMatchOn()) NetPoll(netSession, timerCalls.getTime());
}

void LeaveNetworkMatch() {
  if (!NetworkMatchOn()) return;
  NetLeave(netSession, timerCalls.getTime());
  EndNetworkMatch(false);
}

void EndNetworkSockets() {
  if (!networkMatch.socketsBegun) return;
  EndSockets();
  networkMatch.socketsBegun = false;
}
