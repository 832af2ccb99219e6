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

// The procedure of both, run by DialogBoxParamA with an InviteDialogFields*
// as the parameter. OK takes the fields only when the lobby is HOST,
// HOST:PORT or [IPV6]:PORT and (joining) the code reads as one (any case, the dash
// optional), and ends the dialog with IDOK; otherwise IDC_INVITE_STATUS
// says what is wrong, the faulty field is selected and the dialog stays.
// Cancel ends it with IDCANCEL, the fields unchanged.
INT_PTR CALLBACK InviteDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The host's code, modeless (CreateDialogParamA with the code's text as the
// parameter): Copy puts the text on the clipboard; Close only hides the
// dialog, which its owner destroys when the match no longer waits.
INT_PTR CALLBACK InviteCodeDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The text on the clipboard as CF_TEXT; false when the clipboard cannot be
// had or the copy made.
bool CopyTextToClipboard(HWND owner, const char* text);
