// Placeholder until the configuration dialog lands.
#include "controls/config_dialog.h"

ConfigDialogHandles configHandles;

INT_PTR CALLBACK ConfigDialog(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    EndDialog(dialog, 2);
    return TRUE;
  }
  return FALSE;
}
