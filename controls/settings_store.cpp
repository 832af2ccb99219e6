// The settings store: "Controls", "Shadows", "Sound", "Window" and "Lobby" under the current
// user's BlockTide key, read and written as images of the in-memory records (the lobby as text).
#include "controls/settings_store.h"

#include <windows.h>

#include <cstring>

#include "controls/control_set.h"
#include "engine/game_state.h"
#include "joystick/di_joystick.h"

const char SETTINGS_KEY[] = "Software\\QuillbeamSoft\\BlockTide\\";
const char CONTROLS_VALUE[] = "Controls";
const char SHADOWS_VALUE[] = "Shadows";
const char SOUND_VALUE[] = "Sound";
const char WINDOW_VALUE[] = "Window";
const char LOBBY_VALUE[] = "Lobby";

HWND shadowCheck[2];

namespace {

constexpr DWORD SET_BYTES = sizeof(ControlSet);
constexpr DWORD CONTROLS_BYTES = sizeof controls;
constexpr DWORD SHADOWS_BYTES = sizeof gameState.shadowOn;
static_assert(CONTROLS_BYTES == 232, "\"Controls\" is both sets, 232 bytes");
static_assert(SHADOWS_BYTES == 2, "\"Shadows\" is both switches, 2 bytes");

// Reads a value into a buffer of `capacity` bytes. Returns the number of
// bytes read, or -1 when the value is missing or larger than the buffer.
// The type is not examined: a value of any type with the right size serves.
long QueryValue(HKEY key, const char* name, BYTE* buffer, DWORD capacity) {
  DWORD size = capacity;
  if (RegQueryValueExA(key, name, nullptr, nullptr, buffer, &size) != ERROR_SUCCESS) return -1;
  if (size > capacity) return -1;
  return static_cast<long>(size);
}

// Reads "Controls" whole; a value of any other size counts as missing, so
// a truncated one can never leave a set half made of stored bytes.
bool QueryControls(HKEY key, BYTE (&buffer)[CONTROLS_BYTES]) {
  return QueryValue(key, CONTROLS_VALUE, buffer, CONTROLS_BYTES) == static_cast<long>(CONTROLS_BYTES);
}

// Is the set's joystick among player p's enumerated devices?
bool DeviceAttached(int p) {
  CDIJoystick& joystick = g_Joystick[p];
  for (LPCDIDEVICEINSTANCEA device = joystick.GetFirstJoystickID(); device != nullptr;
       device = joystick.GetNextJoystickID()) {
    if (std::memcmp(&device->guidInstance, controls[p].deviceGuid, sizeof(GUID)) == 0) return true;
  }
  return false;
}

}  // namespace

void LoadControls(int p) {
  if (!ValidPlayer(p)) return;
  bool loaded = false;
  HKEY key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) == ERROR_SUCCESS) {
    BYTE buffer[CONTROLS_BYTES];
    const bool read = QueryControls(key, buffer);
    RegCloseKey(key);
    if (read) {
      std::memcpy(&controls[p], buffer + SET_BYTES * p, SET_BYTES);
      if (controls[p].keyboardMode != 0) {
        loaded = true;
      } else if (DeviceAttached(p)) {
        // deviceGuid is only 4-byte aligned inside the record.
        GUID guid;
        std::memcpy(&guid, controls[p].deviceGuid, sizeof guid);
        g_Joystick[p].SelectDevice(&guid);
        loaded = true;
      }
    }
  }
  // A failed load resets both players, never one alone.
  if (!loaded) SetDefaultControls();
}

void SaveControls(int p) {
  if (!ValidPlayer(p)) return;
  HKEY key;
  // Nothing is reported when the key cannot be made; the in-memory sets
  // stay as they are either way.
  if (RegCreateKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) != ERROR_SUCCESS) return;
  BYTE buffer[CONTROLS_BYTES];
  // Nothing usable stored: the other player's in-memory set goes in too.
  if (!QueryControls(key, buffer)) std::memcpy(buffer, controls, CONTROLS_BYTES);
  std::memcpy(buffer + SET_BYTES * p, &controls[p], SET_BYTES);
  RegSetValueExA(key, CONTROLS_VALUE, 0, REG_BINARY, buffer, CONTROLS_BYTES);
  RegCloseKey(key);
}

void LoadShadows() {
  gameState.shadowOn[0] = gameState.shadowOn[1] = 0;
  HKEY key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) != ERROR_SUCCESS) return;
  BYTE buffer[SHADOWS_BYTES];
  // A 1-byte value sets player 0's switch only; a longer one sets nothing.
  const long read = QueryValue(key, SHADOWS_VALUE, buffer, SHADOWS_BYTES);
  for (long i = 0; i < read; ++i) gameState.shadowOn[i] = buffer[i];
  RegCloseKey(key);
}

void SaveShadow(int p) {
  if (!ValidPlayer(p)) return;
  gameState.shadowOn[p] = SendMessageA(shadowCheck[p], BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
  HKEY key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) != ERROR_SUCCESS) return;
  // Bytes the stored value does not cover (a missing, longer or 1-byte
  // value) come from the in-memory switches.
  BYTE buffer[SHADOWS_BYTES] = {gameState.shadowOn[0], gameState.shadowOn[1]};
  BYTE stored[SHADOWS_BYTES];
  const long read = QueryValue(key, SHADOWS_VALUE, stored, SHADOWS_BYTES);
  for (long i = 0; i < read; ++i) buffer[i] = stored[i];
  buffer[p] = gameState.shadowOn[p];
  RegSetValueExA(key, SHADOWS_VALUE, 0, REG_BINARY, buffer, SHADOWS_BYTES);
  RegCloseKey(key);
}

bool LoadSoundSwitch() {
  HKEY key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) != ERROR_SUCCESS) return true;
  BYTE stored = 1;
  const long read = QueryValue(key, SOUND_VALUE, &stored, 1);
  RegCloseKey(key);
  return !(read == 1 && stored == 0);
}

void SaveSoundSwitch(bool on) {
  HKEY key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) != ERROR_SUCCESS) return;
  const BYTE value = on ? 1 : 0;
  RegSetValueExA(key, SOUND_VALUE, 0, REG_BINARY, &value, 1);
  RegCloseKey(key);
}

// A side longer than this is no window's (the layout's largest screen side).
constexpr int64_t MAX_WINDOW_SIDE = 65536;

static bool SideFits(int32_t from, int32_t to) {
  const int64_t side = static_cast<int64_t>(to) - from;
  return side >= 1 && side <= MAX_WINDOW_SIDE;
}

bool LoadWindowRecord(WindowRecord& record) {
  HKEY key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) != ERROR_SUCCESS) return false;
  WindowRecord stored;
  const long read = QueryValue(key, WINDOW_VALUE, reinterpret_cast<BYTE*>(&stored), sizeof stored);
  RegCloseKey(key);
  if (read != static_cast<long>(sizeof stored) || stored.maximised > 1) return false;
  if (!SideFits(stored.left, stored.right) || !SideFits(stored.top, stored.bottom)) return false;
  // A monitor unplugged or rearranged since: the place is no longer seen.
  RECT r = {stored.left, stored.top, stored.right, stored.bottom};
  if (MonitorFromRect(&r, MONITOR_DEFAULTTONULL) == nullptr) return false;
  record = stored;
  return true;
}

void SaveWindowRecord(const WindowRecord& record) {
  HKEY key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) != ERROR_SUCCESS) return;
  RegSetValueExA(key, WINDOW_VALUE, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&record), sizeof record);
  RegCloseKey(key);
}

bool LoadLobbyAddress(char* text, size_t size) {
  HKEY key;
  if (size < 2 || RegOpenKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key) != ERROR_SUCCESS) return false;
  char stored[512];
  DWORD type = 0;
  DWORD bytes = sizeof stored;
  const LONG rc = RegQueryValueExA(key, LOBBY_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(stored), &bytes);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ || bytes == 0) return false;
  // The stored bytes need not end in a NUL: the length is counted here.
  size_t length = 0;
  while (length < bytes && stored[length] != '\0') ++length;
  if (length == 0 || length >= size) return false;
  std::memcpy(text, stored, length);
  text[length] = '\0';
  return true;
}

SettingNotStoredFn settingNotStored;

bool SaveLobbyAddress(const char* text) {
  HKEY key;
  LONG rc = RegCreateKeyA(HKEY_CURRENT_USER, SETTINGS_KEY, &key);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetValueExA(key, LOBBY_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
  }
  if (rc != ERROR_SUCCESS && settingNotStored != nullptr) settingNotStored(LOBBY_VALUE, rc);
  return rc == ERROR_SUCCESS;
}
