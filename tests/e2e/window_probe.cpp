// A helper of the end-to-end run: finds the running game's main window and
// prints the texts of its four labels (score 0, score 1, level 0, level 1).
#include <windows.h>

#include <cstdio>

int main() {
  HWND game = FindWindowA("BLOCKTIDE", "BlockTide");
  if (game == nullptr) {
    std::printf("no window\n");
    return 1;
  }
  const int ids[4] = {200, 201, 300, 301};
  for (int i = 0; i < 4; ++i) {
    char text[32] = "?";
    GetDlgItemTextA(game, ids[i], text, sizeof(text));
    std::printf(i < 3 ? "%s " : "%s\n", text);
  }
  return 0;
}
