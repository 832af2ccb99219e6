// The Windows entry point of the game.
#include <windows.h>

#include "ui/main_window.h"

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int showCommand) { return RunBlockTide(inst, showCommand); }
