// The network match's host and join dialogs (IDD_HOST: a port; IDD_JOIN: an
// address and a port), in the style of the configuration dialog.
#pragma once

#include <windows.h>

#include <cstdint>

// What the dialogs show when they open and hold after OK.
struct NetworkDialogFields {
  char address[256];  // IDD_JOIN: the host's name or address (IPv6 without brackets), blanks trimmed
  uint16_t port;
};

// The procedure of both dialogs, run by DialogBoxParamA with a
// NetworkDialogFields* as the parameter. OK takes the fields only when they
// are valid (a port from 1 to 65535; an address as SplitHostAndPort reads
// it: a name, IPv4, IPv6, or either with its port, "[2001:db8::7]:41414",
// whose port then wins over the port field's) and ends the dialog with
// IDOK; otherwise the faulty field is selected, IDC_NETWORK_STATUS says
// why, and the dialog stays. Cancel ends it with IDCANCEL, the fields unchanged.
INT_PTR CALLBACK NetworkDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
