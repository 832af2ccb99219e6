// The invite-code dialogs' procedures: the lobby and code fields checked and
// taken, and the host's code shown and copied.
#include "ui/invite_dialogs.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "lobby/lobby_wire.h"
#include "resources/resource.h"
#include "ui/launch_options.h"

namespace {

// The faulty field selected and the reason beside it.
bool Refuse(HWND dialog, int id, const char* why) {
  SetDlgItemTextA(dialog, IDC_INVITE_STATUS, why);
  HWND field = GetDlgItem(dialog, id);
  SetFocus(field);
  SendMessageA(field, EM_SETSEL, 0, -1);
  return false;
}

bool TakeFields(HWND dialog, InviteDialogFields& fields) {
  char lobby[sizeof fields.lobby];
  GetDlgItemTextA(dialog, IDC_LOBBY, lobby, sizeof lobby);
  std::string host;
  uint16_t port = 0;
  std::string error;
  if (!ParsePeerAddress(lobby, host, port, LOBBY_DEFAULT_PORT, &error)) {
    const std::string why = "The lobby is HOST, HOST:PORT or [IPV6]:PORT: " + error + ".";
    return Refuse(dialog, IDC_LOBBY, why.c_str());
  }
  uint64_t code = fields.code;
  if (GetDlgItem(dialog, IDC_INVITE_CODE) != nullptr) {
    char typed[64];
    GetDlgItemTextA(dialog, IDC_INVITE_CODE, typed, sizeof typed);
    // Blanks around a pasted code are no fault of the player's.
    const char* from = typed;
    while (*from == ' ' || *from == '\t') ++from;
    size_t length = std::strlen(from);
    while (length > 0 && (from[length - 1] == ' ' || from[length - 1] == '\t')) --length;
    char trimmed[sizeof typed];
    std::snprintf(trimmed, sizeof trimmed, "%.*s", static_cast<int>(length), from);
    if (!ParseLobbyCode(trimmed, code)) {
      char why[160];
      std::snprintf(why, sizeof why, "\"%.20s\" is no invite code: 8 letters and digits, as XXXX-XXXX.", trimmed);
      return Refuse(dialog, IDC_INVITE_CODE, why);
    }
  }
  // As typed (trimmed), so that the stored value keeps a name, not its address.
  const size_t first = std::strspn(lobby, " \t");
  size_t last = std::strlen(lobby);
  while (last > first && (lobby[last - 1] == ' ' || lobby[last - 1] == '\t')) --last;
  std::snprintf(fields.lobby, sizeof fields.lobby, "%.*s", static_cast<int>(last - first), lobby + first);
  fields.code = code;
  return true;
}

// The code in a font to read it out by: 20 points at the dialog's DPI, made
// when the dialog opens and deleted with it.
void ShowCodeLarge(HWND dialog) {
  if (inviteCodeFont == nullptr) {
    HDC dc = GetDC(dialog);
    const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc != nullptr) ReleaseDC(dialog, dc);
    inviteCodeFont = CreateFontA(-MulDiv(20, dpi, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 FIXED_PITCH | FF_MODERN, "Courier New");
  }
  if (inviteCodeFont != nullptr) {
    SendDlgItemMessageA(dialog, IDC_INVITE_CODE, WM_SETFONT, reinterpret_cast<WPARAM>(inviteCodeFont), TRUE);
  }
}

}  // namespace

HFONT inviteCodeFont;

INT_PTR CALLBACK InviteDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* fields = reinterpret_cast<const InviteDialogFields*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetDlgItemTextA(dialog, IDC_LOBBY, fields->lobby);
      if (fields->lobby[0] == '\0') SetDlgItemTextA(dialog, IDC_INVITE_STATUS, LOBBY_HINT);
      if (fields->lobby[0] != '\0' && GetDlgItem(dialog, IDC_INVITE_CODE) != nullptr) {
        SetFocus(GetDlgItem(dialog, IDC_INVITE_CODE));  // the lobby is known: the code is what is asked
        return FALSE;
      }
      return TRUE;  // the focus to the first field
    }
    case WM_COMMAND: {
      auto* fields = reinterpret_cast<InviteDialogFields*>(GetWindowLongPtrA(dialog, DWLP_USER));
      if (LOWORD(wParam) == IDOK) {
        if (TakeFields(dialog, *fields)) {
          SetDlgItemTextA(dialog, IDC_INVITE_STATUS, "Connecting...");
          UpdateWindow(dialog);
          EndDialog(dialog, IDOK);
        }
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK InviteCodeDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, IDC_INVITE_CODE, reinterpret_cast<const char*>(lParam));
      ShowCodeLarge(dialog);
      return TRUE;
    case WM_DESTROY:
      if (inviteCodeFont != nullptr) DeleteObject(inviteCodeFont);
      inviteCodeFont = nullptr;
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_COPY) {
        char code[32];
        GetDlgItemTextA(dialog, IDC_INVITE_CODE, code, sizeof code);
        const bool copied = CopyTextToClipboard(dialog, code);
        SetDlgItemTextA(dialog, IDC_INVITE_STATUS, copied ? "Copied." : "The clipboard cannot be had.");
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
        ShowWindow(dialog, SW_HIDE);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

bool CopyTextToClipboard(HWND owner, const char* text) {
  const size_t size = std::strlen(text) + 1;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (memory == nullptr) return false;
  void* bytes = GlobalLock(memory);
  if (bytes == nullptr) {
    GlobalFree(memory);
    return false;
  }
  std::memcpy(bytes, text, size);
  GlobalUnlock(memory);
  if (!OpenClipboard(owner)) {
    GlobalFree(memory);
    return false;
  }
  EmptyClipboard();
  // The clipboard owns the memory once it took it.
  const bool taken = SetClipboardData(CF_TEXT, memory) != nullptr;
  CloseClipboard();
  if (!taken) GlobalFree(memory);
  return taken;
}
