// The window's network match: the lobby client's events, the session's
// frames in the window (what the window adds to each), the commands, the
// wake on a datagram and the end.
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
#include "ui/network_parts.h"
#include "ui/window_handles.h"

NetworkMatch networkMatch = {false, false, NetPhase::Closed, NET_DEFAULT_PORT, false, false, 0,
                             {"", NET_DEFAULT_PORT}, {"", NET_DEFAULT_PORT}, {}, false,
                             false, false, LobbyClientPhase::Closed, "", "", nullptr, 0, 0, LobbyPath::None, 0,
                             false};

bool MatchRuns() { return !(gameState.gameOver[0] && gameState.gameOver[1]); }

namespace {

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
// The wait's end and a moved peer, for whoever reads the debug output (the
// title showed the wait).
void SayPathNews(NetEvent e) {
  const NetStats stats = NetSessionStats(netSession);
  char text[200];
  if (e == NetEvent::Resumed) {
    std::snprintf(text, sizeof text,
                  "BlockTide: network: the other player answers again after %u ms of silence; the next frame ran "
                  "%u ms later\n",
                  static_cast<unsigned>(stats.lastSilenceMs), static_cast<unsigned>(stats.lastResumeFrameMs));
  } else {
    char peer[NET_ADDRESS_TEXT];
    NetPeerAddressText(netSession, peer, sizeof peer);
    std::snprintf(text, sizeof text, "BlockTide: network: the other player moved to %s\n", peer);
  }
  OutputDebugStringA(text);
}

// An invite match's direct path fell silent and it moved to the relay: once.
void SayFallback() {
  const LobbyClientStats invited = LobbyClientFigures(lobbyClient);
  if (!invited.fellBack || networkMatch.fallbackSaid) return;
  networkMatch.fallbackSaid = true;
  char text[160];
  std::snprintf(text, sizeof text, "BlockTide: network: the direct path fell silent: relayed over %s after %u ms\n",
                LobbyPathFamily(lobbyClient), static_cast<unsigned>(invited.fallbackSilenceMs));
  OutputDebugStringA(text);
}

void WakeOnDatagram(bool wake) {
  const NetSocket socket = NetSessionSocket(netSession);
  if (wake == networkMatch.wakeOnDatagram || socket == NET_NO_SOCKET) return;
  networkMatch.wakeOnDatagram = wake;
  if (WSAAsyncSelect(static_cast<SOCKET>(socket), mainWindow, wake ? WM_NETWORK : 0, wake ? FD_READ : 0) == 0) return;
  // The frames still run at the timer's pace: said once a session, for
  // whoever looks at the debug output, not as the match's end.
  networkMatch.wakeOnDatagram = false;
  if (networkMatch.wakeFailed) return;
  networkMatch.wakeFailed = true;
  char text[200];
  std::snprintf(text, sizeof text, "BlockTide: network: a datagram cannot wake the window (Winsock error %d); "
                "frames wait for the timer\n", WSAGetLastError());
  OutputDebugStringA(text);
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

// The session is over (or left), or the lobby client failed (`why`, its
// text): the match it ran ends, gravity goes back to the timers, and the
// window is a local game again. `tell`: the reason in a message, once the
// title says "BlockTide".
}  // namespace

void EndNetworkMatch(bool tell, const char* why) {
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

namespace {

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

}  // namespace

bool NetworkMatchOn() { return NetSessionStats(netSession).phase != NetPhase::Closed || InviteBeforeSession(); }

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
  networkMatch.waitSeconds = NetWaitingSeconds(s, now);
  if (networkMatch.invite) SayFallback();
  for (NetEvent e = NetTakeEvent(s); e != NetEvent::None; e = NetTakeEvent(s)) {
    if (e == NetEvent::Connected) BeginPlaying();
    if (e == NetEvent::Resumed || e == NetEvent::Moved) SayPathNews(e);
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
  for (NetEvent e = NetTakeEvent(s); e != NetEvent::None; e = NetTakeEvent(s)) {
    if (e == NetEvent::Resumed || e == NetEvent::Moved) SayPathNews(e);
    if (e == NetEvent::Ended) {
      EndNetworkMatch(true);
      return;
    }
  }
  ShowNetworkState();
}

void NoteNetworkWakeError(int error) {
  if (error == 0 || networkMatch.wakeFailed) return;
  networkMatch.wakeFailed = true;
  char text[160];
  std::snprintf(text, sizeof text, "BlockTide: network: the socket woke the window with Winsock error %d\n", error);
  OutputDebugStringA(text);
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

