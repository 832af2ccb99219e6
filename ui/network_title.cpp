// The window's network title, system menu and Config buttons, which follow
// the session (and the lobby client before it).
// Winsock's header comes first: after <windows.h> it would meet the older
// socket declarations.
#include <winsock2.h>

#include <cstdio>
#include <cstring>

#include "resources/resource.h"
#include "ui/network_match.h"
#include "ui/network_parts.h"
#include "ui/window_handles.h"

const char HOST_MENU_TEXT[] = "Host a network match...";
const char JOIN_MENU_TEXT[] = "Join a network match...";
const char LEAVE_MENU_TEXT[] = "Leave the network match";
const char HOST_INTERNET_MENU_TEXT[] = "Host an internet match...";
const char JOIN_INTERNET_MENU_TEXT[] = "Join an internet match...";

void HostAndPortText(const char* host, uint16_t port, char* text, size_t size) {
  const bool ipv6 = std::strchr(host, ':') != nullptr;
  std::snprintf(text, size, ipv6 ? "[%s]:%u" : "%s:%u", host, static_cast<unsigned>(port));
}

namespace {

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

}  // namespace

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
  const LobbyPath path = networkMatch.invite ? LobbyClientFigures(lobbyClient).path : LobbyPath::None;
  const uint32_t wait = phase == NetPhase::Playing ? networkMatch.waitSeconds : 0;
  if (phase == networkMatch.shownPhase && lookingUp == networkMatch.shownLookUp &&
      invite == networkMatch.shownInvite && wait == networkMatch.shownWait && path == networkMatch.shownPath &&
      stats.moves == networkMatch.shownMoves) {
    return;
  }
  networkMatch.shownPhase = phase;
  networkMatch.shownLookUp = lookingUp;
  networkMatch.shownInvite = invite;
  networkMatch.shownWait = wait;
  networkMatch.shownPath = path;
  networkMatch.shownMoves = stats.moves;
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
  } else if (wait != 0) {
    // The other side is silent: the match waits where it stands.
    std::snprintf(title, sizeof title, "%s - waiting for the other player (%u s)", MAIN_WINDOW_TITLE,
                  static_cast<unsigned>(wait));
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

void AddNetworkMenuItems(bool replay) {
  HMENU menu = GetSystemMenu(mainWindow, FALSE);
  const UINT state = replay ? MF_GRAYED : MF_ENABLED;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | state, IDM_HOST_NETWORK, HOST_MENU_TEXT);
  AppendMenuA(menu, MF_STRING | state, IDM_JOIN_NETWORK, JOIN_MENU_TEXT);
  AppendMenuA(menu, MF_STRING | state, IDM_HOST_INTERNET, HOST_INTERNET_MENU_TEXT);
  AppendMenuA(menu, MF_STRING | state, IDM_JOIN_INTERNET, JOIN_INTERNET_MENU_TEXT);
}

