// The control configuration dialog (resource 129): device choice and the
// capture of one input per action for the player being configured.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "controls/control_set.h"

// Handles of the open dialog's controls; valid only while it exists.
struct ConfigDialogHandles {
  HWND deviceList;   // combo box 1000
  HWND fields[8];    // by action: 1001, 1007, 1006, 1003, 1004, 1005, 1008, 1002
  HWND okButton;
};
extern ConfigDialogHandles configHandles;

// The device list's last entries, one per computer level, easiest first.
extern const char* const COMPUTER_ENTRIES[COMPUTER_LEVEL_MAX];

// Field identifier of each action, and the action of a field id (-1: none).
extern const int FIELD_OF_ACTION[8];
int ActionOfField(int fieldId);

INT_PTR CALLBACK ConfigDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void EnableConfigFields();
void RefreshConfigDialog(HWND dialog);
void ShowBinding(HWND dialog, int action, const Binding& binding);
void CaptureBinding(HWND dialog, HWND field, int action);

// The player (0 or 1) whose controls the dialog edits. The main window's
// Config command sets it before opening the dialog; it lives here so that
// the dialog needs nothing from the window's code.
extern int32_t configPlayer;
// The player the dialog works on: configPlayer, read as 0 or 1 so that a
// stray value can never index past the two sets and joysticks.
int ConfigDialogPlayer();

// The display text of a binding for player p's joystick names, at most 255
// characters; kinds outside 0 to 3 give the empty text.
constexpr size_t BINDING_TEXT_SIZE = 256;
void FormatBinding(int p, const Binding& binding, char (&text)[BINDING_TEXT_SIZE]);

// A joystick capture that sees no input for this long gives up, leaving the
// binding as it was: an untouched or unplugged stick must not hang the game.
constexpr DWORD CAPTURE_TIMEOUT_MS = 10000;
// While a network session runs, the window sets this hook (null otherwise):
// every pass of a capture's wait calls it, so that the session keeps
// answering the other program, whose patience is 5 s of silence; and a
// capture then gives up, leaving the binding as it was, after
// NETWORK_CAPTURE_TIMEOUT_MS (a key capture too, which otherwise waits for
// a key without limit), so that the lockstep frames are not held for long.
typedef void (*CaptureHookFn)();
extern CaptureHookFn captureHook;
constexpr DWORD NETWORK_CAPTURE_TIMEOUT_MS = 3000;
// The millisecond clock of those time-outs; GetTickCount by default, tests
// script it.
typedef DWORD (WINAPI* TickCountFn)();
extern TickCountFn tickCountSource;
