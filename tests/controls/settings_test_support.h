// Shared by the settings store tests: the fixture (key deleted before and
// after, two fake joysticks), raw registry access and check box windows.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "controls/control_set.h"
#include "controls/settings_store.h"
#include "engine/engine.h"
#include "tests/fakes/fake_dinput.h"
#include "ui/main_window.h"

namespace settingstest {

// The maker's key; the store creates it with its parent, so both go.
inline void DeleteKey() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QuillbeamSoft"); }

inline bool KeyExists() {
  HKEY key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

inline void WriteValue(const char* name, DWORD type, const std::vector<uint8_t>& bytes) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key));
  static const BYTE none = 0;
  const BYTE* data = bytes.empty() ? &none : bytes.data();
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, data, static_cast<DWORD>(bytes.size())))
      << name << " type " << type << " size " << bytes.size();
  RegCloseKey(key);
}

inline bool ReadValue(const char* name, std::vector<uint8_t>* bytes, DWORD* type) {
  HKEY key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  DWORD got = 0xdeadbeef;
  LONG rc = RegQueryValueExA(key, name, nullptr, &got, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    bytes->assign(size + 1, 0xbd);
    rc = RegQueryValueExA(key, name, nullptr, &got, bytes->data(), &size);
    bytes->resize(size);
  }
  RegCloseKey(key);
  if (type != nullptr) *type = got;
  return rc == ERROR_SUCCESS;
}

inline std::vector<uint8_t> Stored(const char* name) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(ReadValue(name, &bytes, nullptr)) << name << " is missing";
  return bytes;
}

inline void WriteControls(const ControlSet& p0, const ControlSet& p1) {
  std::vector<uint8_t> bytes(232);
  std::memcpy(bytes.data(), &p0, 116);
  std::memcpy(bytes.data() + 116, &p1, 116);
  WriteValue(CONTROLS_VALUE, REG_BINARY, bytes);
}

// A joystick-mode set on a device, with recognisable reserved bytes and
// bindings derived from the seed.
inline ControlSet JoystickModeSet(const GUID& device, uint8_t seed) {
  ControlSet set;
  std::memset(&set, 0, sizeof set);
  set.reserved[0] = seed;
  set.reserved[1] = static_cast<uint8_t>(seed + 1);
  set.reserved[2] = static_cast<uint8_t>(seed + 2);
  std::memcpy(set.deviceGuid, &device, 16);
  for (int i = 0; i < 8; ++i) set.bindings[i] = Binding{i % 4, seed, i + seed};
  return set;
}

// The default image of both sets, made without disturbing `controls`.
inline void DefaultImage(ControlSet (&out)[2]) {
  ControlSet saved[2];
  std::memcpy(saved, controls, sizeof saved);
  SetDefaultControls();
  std::memcpy(out, controls, sizeof out);
  std::memcpy(controls, saved, sizeof saved);
}

inline bool HoldsDefaults(int p) {
  ControlSet defaults[2];
  DefaultImage(defaults);
  return std::memcmp(&defaults[p], &controls[p], sizeof(ControlSet)) == 0;
}

inline void ExpectDefaults(const std::string& context) {
  EXPECT_TRUE(HoldsDefaults(0)) << "player 0, " << context;
  EXPECT_TRUE(HoldsDefaults(1)) << "player 1, " << context;
}

// A real check box (BS_AUTOCHECKBOX, BS_AUTO3STATE, ...), not shown.
inline HWND MakeCheckBox(DWORD style) {
  return CreateWindowA("BUTTON", "Shadow", WS_POPUP | style, 0, 0, 80, 20, nullptr, nullptr,
                       GetModuleHandleA(nullptr), nullptr);
}

// What the answering window returns for BM_GETCHECK.
inline LRESULT checkAnswer = 0;

inline LRESULT CALLBACK AnsweringProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case BM_GETCHECK:
      return checkAnswer;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

inline HWND MakeAnsweringWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = AnsweringProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "SettingsTestAnswer";
  RegisterClassA(&wc);  // fails harmlessly when a previous test registered it
  return CreateWindowA("SettingsTestAnswer", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                       GetModuleHandleA(nullptr), nullptr);
}

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteKey();
    ASSERT_FALSE(KeyExists()) << "the key survived its deletion";
    fakedi::Reset();
    padA = &fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad A");
    padB = &fakedi::AddJoystick(fakedi::MakeGuid(2), "Pad B");
    padA->AddButtons(8);
    padB->AddButtons(8);
    fakedi::Install();
    fakedi::RebuildJoystick(0);
    fakedi::RebuildJoystick(1);
    std::memset(controls, 0xbd, sizeof controls);
    gameState.shadowOn[0] = gameState.shadowOn[1] = 0xbd;
    savedChecks[0] = shadowCheck[0];
    savedChecks[1] = shadowCheck[1];
  }
  void TearDown() override {
    shadowCheck[0] = savedChecks[0];
    shadowCheck[1] = savedChecks[1];
    for (int p = 0; p < 2; ++p) g_Joystick[p].Shutdown();
    fakedi::Restore();
    DeleteKey();
    EXPECT_FALSE(KeyExists());
  }

  fakedi::FakeJoystick* padA = nullptr;
  fakedi::FakeJoystick* padB = nullptr;
  HWND savedChecks[2] = {};
};

}  // namespace settingstest
