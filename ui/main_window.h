// The program's shell: window globals, control identifiers, the main window
// class and window, and the window procedure.
#pragma once

#include <windows.h>

#include <cstdint>

// Child control and timer identifiers.
constexpr int ID_START = 401;
constexpr int ID_STOP = 402;
constexpr int ID_SHADOW0 = 410;   // + p
constexpr int ID_CONFIG0 = 420;   // + p
constexpr int ID_SCORE0 = 200;    // + p
constexpr int ID_LEVEL0 = 300;    // + p
constexpr UINT_PTR FRAME_TIMER = 0;       // gravity of player p: timer p + 1

extern const char MAIN_CLASS_NAME[];   // "BLOCKTIDE"
extern const char MAIN_WINDOW_TITLE[]; // "BlockTide"
constexpr DWORD MAIN_WINDOW_STYLE = 0x00CA0000;  // caption, system menu, minimise box

// Child control styles: check box (automatic), push button, and label
// (border, centred text, plus bit 0x800).
constexpr DWORD CHECK_BOX_STYLE = 0x50000003;
constexpr DWORD BUTTON_STYLE = 0x50000000;
constexpr DWORD LABEL_STYLE = 0x50800801;

extern HINSTANCE instance;
extern HWND mainWindow;
extern HWND shadowCheck[2];
extern HWND scoreLabel[2];
extern HWND levelLabel[2];
// LeaderColourIndex of score label 0 when the labels were last shown; -1
// before that.
extern int32_t shownLeader;
extern int32_t configPlayer;

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

// ColourTable entry of a score label: 6 (orange) on a tie, 1 (green) for the
// leader, 0 (red) for the trailer; the label's brush is brushes[index + 1].
int32_t LeaderColourIndex(int32_t own, int32_t other);

// The entry point's work (WinMain calls it): start-up, message loop,
// shutdown; returns the exit code, 1 when COM, the class or the window
// cannot be made, after telling the player through showStartupError.
int RunBlockTide(HINSTANCE inst, int showCommand);

// Shows a start-up failure; a message box by default, tests record it.
typedef void (*StartupErrorFn)(const char* text);
extern StartupErrorFn showStartupError;
