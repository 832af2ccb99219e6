// Main window: placeholder until the window lands.
#include "ui/main_window.h"
HWND shadowCheck[2];
