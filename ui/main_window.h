// The program's shell: the main window class and window, the window
// procedure and the commands' window side. The window's handles and
// identifiers, which the files below the window read, are in
// window_handles.h.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/window_handles.h"

extern const char MAIN_CLASS_NAME[];   // "BLOCKTIDE"
// Caption, system menu, sizing border, minimise and maximise boxes: each new
// client size is laid out afresh (ComputeClientLayout), down to the minimum
// client (MIN_CLIENT_WIDTH x MIN_CLIENT_HEIGHT at the window's DPI).
constexpr DWORD MAIN_WINDOW_STYLE = WS_OVERLAPPEDWINDOW;
static_assert(MAIN_WINDOW_STYLE == 0x00CF0000, "the main window's style value");

// Child control styles: check box (automatic), push button, and label
// (border, centred text). The labels have always carried SS_REALSIZEIMAGE
// too, which does nothing for a text label; it stays so that the style
// value stays what it was.
constexpr DWORD CHILD_STYLE = WS_CHILD | WS_VISIBLE;
constexpr DWORD CHECK_BOX_STYLE = CHILD_STYLE | BS_AUTOCHECKBOX;
constexpr DWORD BUTTON_STYLE = CHILD_STYLE | BS_PUSHBUTTON;
constexpr DWORD LABEL_STYLE = CHILD_STYLE | WS_BORDER | SS_CENTER | SS_REALSIZEIMAGE;
static_assert(CHECK_BOX_STYLE == 0x50000003, "the Shadow check boxes' style value");
static_assert(BUTTON_STYLE == 0x50000000, "the buttons' style value");
static_assert(LABEL_STYLE == 0x50800801, "the labels' style value");

// The DPI of the screen before the window exists (the entry point's layout)
// and of the window: GetDpiForWindow where the system has it, else the
// device context's LOGPIXELSX.
int32_t ScreenDpi();
int32_t WindowDpi(HWND window);

// The window's place as last sized or maximised by the player, stored
// ("Window", settings_store.h) at the end of each size or move and at each
// change of the maximised state; the stored one, when it is still on a
// monitor, is where the window opens.
extern WindowRecord windowRecord;

// False when the class cannot be registered (also when the name is taken).
bool RegisterMainClass(HINSTANCE inst);
bool CreateMainWindow(HINSTANCE inst, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The commands, each followed by the focus going back to the main window.
// Start: focus, joysticks bound, both control sets loaded, both players reset.
void StartMatch();
// Stop: both players out; everything else stays as it is.
void StopMatch();
// Config: the modal dialog for player p, then p's joystick bound back here.
void RunConfigDialog(int p);

// The entry point's work (WinMain calls it): start-up, message loop,
// shutdown; returns the exit code, 1 when COM, the class or the window
// cannot be made, after telling the player through showStartupError.
int RunBlockTide(HINSTANCE inst, int showCommand);

// Shows a start-up failure; a message box by default, tests record it.
typedef void (*StartupErrorFn)(const char* text);
extern StartupErrorFn showStartupError;
