// The host and join dialogs' procedure: the fields shown, checked and taken.
#include "ui/network_dialogs.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "ui/launch_options.h"
#include "resources/resource.h"

namespace {

// The faulty field selected and the reason on the dialog's status line.
bool Refuse(HWND dialog, int id, const char* why) {
  SetDlgItemTextA(dialog, IDC_NETWORK_STATUS, why);
  HWND field = GetDlgItem(dialog, id);
  SetFocus(field);
  SendMessageA(field, EM_SETSEL, 0, -1);
  return false;
}

// The fields into `fields` when every one is valid; else the first faulty
// one is selected and the reason shown.
bool TakeFields(HWND dialog, NetworkDialogFields& fields) {
  char text[sizeof fields.address];
  const bool join = GetDlgItem(dialog, IDC_ADDRESS) != nullptr;
  char host[NET_HOST_TEXT];
  char error[200];
  uint16_t typedPort = 0;
  bool portTyped = false;  // "[2001:db8::7]:41414" in the address field: its port wins
  if (join) {
    GetDlgItemTextA(dialog, IDC_ADDRESS, text, sizeof text);
    if (!SplitHostAndPort(text, host, typedPort, portTyped, error, sizeof error)) {
      char why[sizeof error + 1];
      std::snprintf(why, sizeof why, "%s.", error);
      if (why[0] >= 'a' && why[0] <= 'z') why[0] = static_cast<char>(why[0] - 'a' + 'A');  // a sentence of its own
      return Refuse(dialog, IDC_ADDRESS, why);
    }
  }
  uint16_t port = 0;
  GetDlgItemTextA(dialog, IDC_PORT, text, sizeof text);
  if (!ParsePort(text, port) && !portTyped) {
    return Refuse(dialog, IDC_PORT, "The port is a number from 1 to 65535.");
  }
  if (join) std::snprintf(fields.address, sizeof fields.address, "%s", host);
  fields.port = portTyped ? typedPort : port;
  return true;
}

}  // namespace

INT_PTR CALLBACK NetworkDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* fields = reinterpret_cast<const NetworkDialogFields*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      char port[8];
      std::snprintf(port, sizeof port, "%u", static_cast<unsigned>(fields->port));
      SetDlgItemTextA(dialog, IDC_PORT, port);
      SetDlgItemTextA(dialog, IDC_ADDRESS, fields->address);  // nothing in the host dialog
      return TRUE;  // the focus to the first field
    }
    case WM_COMMAND: {
      auto* fields = reinterpret_cast<NetworkDialogFields*>(GetWindowLongPtrA(dialog, DWLP_USER));
      if (LOWORD(wParam) == IDOK) {
        if (TakeFields(dialog, *fields)) EndDialog(dialog, IDOK);
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
