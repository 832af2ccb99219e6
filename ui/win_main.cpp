// The Windows entry point of the game: the command line's recording or
// replay around the program's run.
#include <windows.h>

#include "ui/main_window.h"
#include "ui/match_recording.h"

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR commandLine, int showCommand) {
  if (const int refused = BeginSession(commandLine)) return refused;
  return EndSession(RunBlockTide(inst, showCommand));
}
