// What the three files of the window's network match share, and no other
// file: network_title (the title, the menu, the Config buttons),
// network_start (the look-up, the starts, the dialogs) and network_match (the
// events, the frames, the end). Both of the first two use network_match's
// end; network_match uses the title.
#pragma once

#include <cstddef>
#include <cstdint>

// A match runs (not both players out).
bool MatchRuns();
// The title, the menu and the Config buttons follow the session.
void ShowNetworkState();
// A host as typed with its port, as titles write it: an IPv6 address in
// brackets ("[2001:db8::7]:41414"), else "lobby.example:41500".
void HostAndPortText(const char* host, uint16_t port, char* text, size_t size);
// The lobby client before (and while) its session runs: false when none.
bool InviteBeforeSession();
// The session is over (or left), or the lobby client failed (`why`, its
// text): the match it ran ends, gravity goes back to the timers, and the
// window is a local game again. `tell`: the reason in a message, once the
// title says "BlockTide".
void EndNetworkMatch(bool tell, const char* why = nullptr);
