// A helper of the dialog's end-to-end run: finds the open configuration
// dialog and prints the screen centre and text of one of its controls.
//   dialog_probe ID   ->   "X Y TEXT", "hidden" once the dialog has ended but
//   still exists, or "none" (exit 1) when there is no dialog
//   dialog_probe ID main   ->   the same for a control of the main window
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  // An ended dialog is hidden some time before its modal loop destroys it
  // (Wine waits for a window manager that is not there).
  const bool main = argc > 2 && std::strcmp(argv[2], "main") == 0;
  HWND dialog = main ? FindWindowA("BLOCKTIDE", "BlockTide") : FindWindowA("#32770", "Dialog");
  if (!main && dialog && !IsWindowVisible(dialog)) {
    std::printf("hidden\n");
    return 1;
  }
  HWND control = dialog && argc > 1 ? GetDlgItem(dialog, std::atoi(argv[1])) : nullptr;
  if (control == nullptr) {
    std::printf("none\n");
    return 1;
  }
  RECT r;
  GetWindowRect(control, &r);
  // Asked of the control itself: an edit field keeps its text to itself.
  char text[256] = "";
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, &copied);
  std::printf("%ld %ld %s\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2, text);
  return 0;
}
