// The per-user settings store: both control sets, both shadow switches and
// the sound switch in the registry, as memory images of the in-memory records.
#pragma once

#include <windows.h>

// HKEY_CURRENT_USER\Software\QuillbeamSoft\BlockTide\ ...
extern const char SETTINGS_KEY[];
extern const char CONTROLS_VALUE[];   // "Controls", 232 bytes
extern const char SHADOWS_VALUE[];    // "Shadows", 2 bytes
extern const char SOUND_VALUE[];      // "Sound", 1 byte: 0 off, 1 on

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

// The two "Shadow" check boxes, player 0 and 1, that SaveShadow reads. The
// main window makes them and fills this in; they live here so that the
// store needs nothing from the window's code.
extern HWND shadowCheck[2];
