// The invite-code match's dialogs: IDD_HOST_INVITE (the lobby's address),
// IDD_JOIN_INVITE (the lobby's address and the code) and the host's
// IDD_INVITE_CODE, which shows the code with a Copy button.
#pragma once

#include <windows.h>

#include <cstdint>

// What the host and join dialogs show when they open and hold after OK.
struct InviteDialogFields {
  char lobby[256];  // "host" or "host:port", blanks trimmed
  uint64_t code;    // IDD_JOIN_INVITE: the code typed
};

// What the Lobby field's status line says while the field is empty.
constexpr char LOBBY_HINT[] = "Type the lobby's name, e.g. lobby.example.org:41415";

// The procedure of both, run by DialogBoxParamA with an InviteDialogFields*
// as the parameter. OK takes the fields only when the lobby is HOST,
// HOST:PORT or [IPV6]:PORT and (joining) the code reads as one (any case, the dash
// optional or a space in its place), and ends the dialog with IDOK; otherwise IDC_INVITE_STATUS
// says what is wrong, the faulty field is selected and the dialog stays.
// An empty Lobby field's status line gives LOBBY_HINT; OK says "Connecting...".
// Cancel ends it with IDCANCEL, the fields unchanged.
INT_PTR CALLBACK InviteDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The host's code, modeless (CreateDialogParamA with the code's text as the
// parameter): Copy puts the text on the clipboard; Close only hides the
// dialog, which its owner destroys when the match no longer waits. The code
// is shown in inviteCodeFont (large, for reading out), made when the dialog
// opens and deleted when it is destroyed.
extern HFONT inviteCodeFont;
INT_PTR CALLBACK InviteCodeDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The text on the clipboard as CF_TEXT; false when the clipboard cannot be
// had or the copy made.
bool CopyTextToClipboard(HWND owner, const char* text);
