// The configuration dialog's procedure: opening, the device list, the device
// change, and OK and Cancel through the settings store.
#include "controls/config_dialog.h"

#include <commctrl.h>

#include <cstring>

#include "controls/settings_store.h"
#include "joystick/di_joystick.h"
#include "resources/resource.h"

ConfigDialogHandles configHandles;
int32_t configPlayer;

const int FIELD_OF_ACTION[8] = {IDC_SPEEDUP, IDC_LEFT,   IDC_RIGHT, IDC_ROTATE_CW,
                                IDC_ROTATE_CCW, IDC_SWAP, IDC_PAUSE, IDC_FALL};

int ActionOfField(int fieldId) {
  for (int a = 0; a < 8; ++a) {
    if (FIELD_OF_ACTION[a] == fieldId) return a;
  }
  return -1;
}

int ConfigDialogPlayer() { return configPlayer == 1 ? 1 : 0; }

const char* const COMPUTER_ENTRIES[COMPUTER_LEVEL_MAX] = {
    "Computer 1: beginner", "Computer 2: casual", "Computer 3: club", "Computer 4: expert", "Computer 5: machine"};

namespace {

// The n-th record (from 0) of the player's device list, or null.
LPCDIDEVICEINSTANCEA DeviceAt(CDIJoystick& stick, int n) {
  LPCDIDEVICEINSTANCEA device = stick.GetFirstJoystickID();
  for (int i = 0; device && i < n; ++i) device = stick.GetNextJoystickID();
  return device;
}

void FillDeviceList(CDIJoystick& stick) {
  SendMessageA(configHandles.deviceList, CB_RESETCONTENT, 0, 0);
  SendMessageA(configHandles.deviceList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Keyboard"));
  // The listed records' names are terminated when the enumeration stores them.
  for (LPCDIDEVICEINSTANCEA device = stick.GetFirstJoystickID(); device;
       device = stick.GetNextJoystickID()) {
    SendMessageA(configHandles.deviceList, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(device->tszProductName));
  }
  // Last, so that "Keyboard" and the sticks keep their places.
  for (const char* text : COMPUTER_ENTRIES) {
    SendMessageA(configHandles.deviceList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
}

// The template's 30 units let the list drop down a row or two, hiding the
// computer's levels below a scroll bar: the combo box (whose height is that
// of its dropped list) is made tall enough for every entry. Common controls
// 6 would take the entries to show instead; the game runs on the older ones.
void FitDeviceList(HWND list) {
  const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
  SendMessageA(list, CB_SETMINVISIBLE, static_cast<WPARAM>(count), 0);
  const LRESULT field = SendMessageA(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  const LRESULT item = SendMessageA(list, CB_GETITEMHEIGHT, 0, 0);
  RECT r;
  if (count <= 0 || field <= 0 || item <= 0 || !GetWindowRect(list, &r)) return;
  const int height = static_cast<int>(field + count * item) + 4 * GetSystemMetrics(SM_CYEDGE);
  if (height <= r.bottom - r.top) return;
  SetWindowPos(list, nullptr, 0, 0, r.right - r.left, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The list's last entries are the computer's levels, easiest first: the
// entry of a level.
LRESULT ComputerIndex(int32_t level) {
  return SendMessageA(configHandles.deviceList, CB_GETCOUNT, 0, 0) - COMPUTER_LEVEL_MAX + level - 1;
}

// The computer needs no bindings: its fields are empty and cannot be chosen.
void DisableBindingFields(HWND dialog) {
  for (int a = 0; a < 8; ++a) {
    SetDlgItemTextA(dialog, FIELD_OF_ACTION[a], "");
    EnableWindow(configHandles.fields[a], FALSE);
  }
}

void EnableBindingFields() {
  for (HWND field : configHandles.fields) EnableWindow(field, TRUE);
}

void OnInitDialog(HWND dialog) {
  const int p = ConfigDialogPlayer();
  g_Joystick[p].SetHWND(dialog);
  configHandles.deviceList = GetDlgItem(dialog, IDC_DEVICE);
  for (int a = 0; a < 8; ++a) configHandles.fields[a] = GetDlgItem(dialog, FIELD_OF_ACTION[a]);
  configHandles.okButton = GetDlgItem(dialog, IDOK);
  EnableConfigFields();
  FillDeviceList(g_Joystick[p]);
  FitDeviceList(configHandles.deviceList);
  LoadControls(p);
  RefreshConfigDialog(dialog);
}

void OnDeviceChange(HWND dialog) {
  const int p = ConfigDialogPlayer();
  ControlSet& set = controls[p];
  EnableConfigFields();
  LRESULT n = SendMessageA(configHandles.deviceList, CB_GETCURSEL, 0, 0);
  const LRESULT firstComputer = ComputerIndex(COMPUTER_LEVEL_MIN);
  const bool computer = n >= 1 && n >= firstComputer && n <= ComputerIndex(COMPUTER_LEVEL_MAX);
  if (n == 0) {
    set.keyboardMode = 1;  // deviceGuid keeps the last stick chosen
  } else if (computer) {
    set.keyboardMode = COMPUTER_MODE;  // deviceGuid keeps the last stick chosen
    set.reserved[COMPUTER_LEVEL_BYTE] = static_cast<uint8_t>(COMPUTER_LEVEL_MIN + (n - firstComputer));
  } else if (n >= 1) {
    // No selection (CB_ERR) or a list shorter than n: mode and stick stay.
    LPCDIDEVICEINSTANCEA device = DeviceAt(g_Joystick[p], static_cast<int>(n - 1));
    if (device) {
      set.keyboardMode = 0;
      memcpy(set.deviceGuid, &device->guidInstance, sizeof set.deviceGuid);
      g_Joystick[p].SelectDevice(&device->guidInstance);
    }
  }
  memset(set.bindings, 0, sizeof set.bindings);
  for (int a = 0; a < 8; ++a) SetDlgItemTextA(dialog, FIELD_OF_ACTION[a], "");
  if (computer) DisableBindingFields(dialog);
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  switch (id) {
    case IDOK:
      SaveControls(ConfigDialogPlayer());
      EndDialog(dialog, 1);
      return TRUE;
    case IDCANCEL:
      LoadControls(ConfigDialogPlayer());
      EndDialog(dialog, 2);
      return TRUE;
    case IDC_DEVICE:
      if (code != CBN_SELCHANGE) return FALSE;
      OnDeviceChange(dialog);
      return TRUE;
    default: {
      const int action = ActionOfField(id);
      if (action < 0 || code != EN_SETFOCUS) return FALSE;
      CaptureBinding(dialog, reinterpret_cast<HWND>(lParam), action);
      return TRUE;
    }
  }
}

}  // namespace

void EnableConfigFields() {
  for (HWND field : configHandles.fields) EnableWindow(field, TRUE);
  EnableWindow(configHandles.okButton, TRUE);
}

void RefreshConfigDialog(HWND dialog) {
  const int p = ConfigDialogPlayer();
  const ControlSet& set = controls[p];
  CDIJoystick& stick = g_Joystick[p];
  const bool computer = set.keyboardMode == COMPUTER_MODE;
  LRESULT index = 0;
  if (computer) {
    index = ComputerIndex(ComputerLevelOf(set));
  } else if (!set.keyboardMode) {
    // A stick that is not listed selects nothing: not a computer level, which
    // sits where one past the last stick used to be. Wine keeps the old
    // selection for an index past the end, so say -1.
    index = -1;
    LRESULT n = 1;
    for (LPCDIDEVICEINSTANCEA device = stick.GetFirstJoystickID(); device;
         device = stick.GetNextJoystickID(), ++n) {
      if (memcmp(&device->guidInstance, set.deviceGuid, sizeof set.deviceGuid) == 0) {
        index = n;
        break;
      }
    }
  }
  SendMessageA(configHandles.deviceList, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  stick.BuildFriendlyButtonNames();
  for (int a = 0; a < 8; ++a) ShowBinding(dialog, a, set.bindings[a]);
  if (computer) {
    DisableBindingFields(dialog);
  } else {
    EnableBindingFields();
  }
}

INT_PTR CALLBACK ConfigDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return TRUE;  // the platform focuses the first tab stop, OK
    case WM_COMMAND:
      return OnCommand(dialog, wParam, lParam);
    case WM_DESTROY:
      configHandles = ConfigDialogHandles{};  // the handles die with the dialog
      return FALSE;
    default:
      return FALSE;
  }
}
