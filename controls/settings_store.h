// The per-user settings store: both control sets, both shadow switches,
// the sound switch and the window's place in the registry, as memory images
// of the in-memory records; and the invite lobby's address, as text.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// HKEY_CURRENT_USER\Software\QuillbeamSoft\BlockTide\ ...
extern const char SETTINGS_KEY[];
extern const char CONTROLS_VALUE[];   // "Controls", 232 bytes
extern const char SHADOWS_VALUE[];    // "Shadows", 2 bytes
extern const char SOUND_VALUE[];      // "Sound", 1 byte: 0 off, 1 on
extern const char WINDOW_VALUE[];     // "Window", 20 bytes: a WindowRecord
extern const char LOBBY_VALUE[];      // "Lobby", REG_SZ: "host" or "host:port"

// The main window's place as the player left it: its rectangle when not
// maximised (screen pixels, right and bottom exclusive) and whether it was
// maximised (0 or 1).
struct WindowRecord {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
  uint32_t maximised;
};
static_assert(sizeof(WindowRecord) == 20, "\"Window\" is five 32-bit fields, 20 bytes");

// Player p's set becomes the stored one; when that cannot be done both
// players get the default set.
void LoadControls(int p);
// Merges player p's in-memory set into the stored "Controls" value.
void SaveControls(int p);
// Both shadow switches from the store (off when missing).
void LoadShadows();
// Player p's switch from its check box, stored at once.
void SaveShadow(int p);
// The sound switch: on unless "Sound" is the one byte 0. A missing value, or
// one of another size or byte, reads as on (the default).
bool LoadSoundSwitch();
void SaveSoundSwitch(bool on);
// The stored window place, when "Window" is 20 bytes, maximised is 0 or 1,
// each side is 1 to 65536 pixels long and the rectangle meets a monitor;
// false (record untouched) otherwise: the window then opens as on a first run.
bool LoadWindowRecord(WindowRecord& record);
void SaveWindowRecord(const WindowRecord& record);
// The invite lobby's address as the player last gave it: true with the text
// (NUL-terminated, blanks kept) when "Lobby" is a REG_SZ of 1 to size - 1
// characters; false (text untouched) otherwise. Whether the text names a
// usable address is the reader's to check.
bool LoadLobbyAddress(char* text, size_t size);
// Stores the text as "Lobby"; false, with settingNotStored told the value and
// the registry's error code, when the registry refuses it.
bool SaveLobbyAddress(const char* text);

// Called when the registry refuses a setting's write: the value's name and
// the error code. Set by the window at start-up (ui/entry_point.cpp: said
// to the player); null, as in tests and tools, leaves it unsaid.
typedef void (*SettingNotStoredFn)(const char* value, long code);
extern SettingNotStoredFn settingNotStored;

// The two "Shadow" check boxes, player 0 and 1, that SaveShadow reads. The
// main window makes them and fills this in; they live here so that the
// store needs nothing from the window's code.
extern HWND shadowCheck[2];
