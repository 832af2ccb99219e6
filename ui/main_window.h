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

extern HINSTANCE instance;
extern HWND mainWindow;
extern HWND shadowCheck[2];
extern HWND scoreLabel[2];
extern HWND levelLabel[2];
extern int32_t configPlayer;

void RegisterMainClass(HINSTANCE inst);
bool CreateMainWindow(HINSTANCE inst, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The entry point's work (WinMain calls it): start-up, message loop,
// shutdown; returns the exit code.
int RunBlockTide(HINSTANCE inst, int showCommand);
