// Shared set-up of the configuration dialog tests: scripted keys, clock and
// DirectInput, an empty settings key, and the dialog created from resource
// 129 of the test executable.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "controls/action_sampling.h"
#include "controls/config_dialog.h"
#include "controls/control_set.h"
#include "resources/resource.h"
#include "tests/fakes/fake_dinput.h"
#include "ui/main_window.h"

namespace dialogtest {

// Key codes reported down once keyCallsUntilDown reads have been made, and
// up again after keyCallsUntilUp reads (0: never).
inline bool keysDown[256];
inline long keyCalls;
inline long keyCallsUntilDown;
inline long keyCallsUntilUp;
inline SHORT ScriptedKeyState(int code) {
  ++keyCalls;
  bool down = code >= 0 && code < 256 && keysDown[code] && keyCalls > keyCallsUntilDown &&
              (keyCallsUntilUp == 0 || keyCalls <= keyCallsUntilUp);
  return down ? static_cast<SHORT>(0x8000) : 0;
}

// A clock that advances by tickStep on every read.
inline DWORD tickNow;
inline DWORD tickStep;
inline long tickCalls;
// Allocations counted at the first and the latest clock read of a capture.
inline long long allocationsAtFirstTick, allocationsAtLastTick;
inline DWORD WINAPI ScriptedTicks() {
  if (++tickCalls == 1) allocationsAtFirstTick = fakedi::Allocations().count;
  allocationsAtLastTick = fakedi::Allocations().count;
  DWORD now = tickNow;
  tickNow += tickStep;
  return now;
}

inline void DeleteSettings() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QuillbeamSoft"); }

class DialogTest : public testing::Test {
 protected:
  void SetUp() override {
    fakedi::Reset();
    padA = &fakedi::AddJoystick(fakedi::MakeGuid(0xA), "Pad A");
    padB = &fakedi::AddJoystick(fakedi::MakeGuid(0xB), "Pad B");
    padB->AddButtons(12);
    fakedi::Install();
    fakedi::RebuildJoystick(0);
    fakedi::RebuildJoystick(1);
    memset(keysDown, 0, sizeof keysDown);
    keyCalls = keyCallsUntilDown = keyCallsUntilUp = 0;
    keyStateSource = ScriptedKeyState;
    tickNow = 1000, tickStep = 0, tickCalls = 0;
    tickCountSource = ScriptedTicks;
    configPlayer = 1;
    memset(controls, 0xbd, sizeof controls);
    DeleteSettings();
  }
  void TearDown() override {
    if (dialog) DestroyWindow(dialog);
    DeleteSettings();
    keyStateSource = GetAsyncKeyState;
    tickCountSource = GetTickCount;
    captureHook = nullptr;
    fakedi::Restore();
  }

  // A modeless instance: the tests send it the messages themselves.
  HWND Open() {
    dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIG), nullptr,
                                ConfigDialog, 0);
    return dialog;
  }
  HWND Field(int action) { return GetDlgItem(dialog, FIELD_OF_ACTION[action]); }
  std::string Text(HWND window) {
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
  }
  void Capture(int action) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(FIELD_OF_ACTION[action], EN_SETFOCUS),
                 reinterpret_cast<LPARAM>(Field(action)));
  }
  void ChooseDevice(int index) {
    SendDlgItemMessageA(dialog, IDC_DEVICE, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DEVICE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_DEVICE)));
  }
  // Player 1 in joystick mode on pad B, stored so that opening keeps it.
  void StorePadBForPlayer1() {
    ControlSet sets[2];
    SetDefaultControls();
    memcpy(sets, controls, sizeof sets);
    sets[1].keyboardMode = 0;
    memcpy(sets[1].deviceGuid, &padB->guidInstance, 16);
    WriteStored(sets, sizeof sets);
  }
  void WriteStored(const void* bytes, DWORD size) {
    HKEY key;
    RegCreateKeyA(HKEY_CURRENT_USER, "Software\\QuillbeamSoft\\BlockTide\\", &key);
    RegSetValueExA(key, "Controls", 0, REG_BINARY, static_cast<const BYTE*>(bytes), size);
    RegCloseKey(key);
  }
  DWORD ReadStored(void* bytes, DWORD size) {
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Software\\QuillbeamSoft\\BlockTide\\", &key)) return 0;
    LONG rc = RegQueryValueExA(key, "Controls", nullptr, nullptr, static_cast<BYTE*>(bytes), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? size : 0;
  }

  HWND dialog = nullptr;
  fakedi::FakeJoystick* padA = nullptr;
  fakedi::FakeJoystick* padB = nullptr;
};

}  // namespace dialogtest
