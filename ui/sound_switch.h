// The "Sound" switch: an item of the window's system menu, kept in the
// settings store, read by PlaySoundEvent.
#pragma once

#include <windows.h>

// The system menu's command for the item (below 0xF000, low four bits
// clear, as WM_SYSCOMMAND wants).
constexpr UINT IDM_SOUND = 0x0510;

// On by default; the window's thread reads and writes it.
extern bool soundOn;

// OnCreate: soundOn from the store, and the item appended to the system
// menu, checked when on.
void AddSoundMenuItem(HWND window);
// WM_SYSCOMMAND: true when the command was the item's. It then turns the
// switch over, silences what sounds when off, ticks the item and stores the
// switch (not while replaying: a replay stores nothing).
bool SoundMenuCommand(HWND window, WPARAM command);
