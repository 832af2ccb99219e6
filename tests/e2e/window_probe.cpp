// A helper of the end-to-end run: finds the running game's main window and
//   window_probe              prints the texts of its four labels (score 0,
//                             score 1, level 0, level 1);
//   window_probe layout       prints its DPI, client size, the Start button's
//                             rectangle in the client area and the height of
//                             the button's font ("DPI W H L T R B F");
//   window_probe size W H     gives it a client area of W x H, as a drag of
//                             its border would;
//   window_probe sizeloop     starts its modal sizing loop (the system
//                             menu's Size, then driven by arrow keys);
//   window_probe maximise     maximises it, as its maximise box would.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  HWND game = FindWindowA("BLOCKTIDE", "BlockTide");
  if (game == nullptr) {
    std::printf("no window\n");
    return 1;
  }
  RECT client, outer;
  GetClientRect(game, &client);
  GetWindowRect(game, &outer);
  if (argc == 4 && std::strcmp(argv[1], "size") == 0) {
    const int w = std::atoi(argv[2]) + (outer.right - outer.left) - client.right;
    const int h = std::atoi(argv[3]) + (outer.bottom - outer.top) - client.bottom;
    SetWindowPos(game, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "maximise") == 0) {
    ShowWindow(game, SW_MAXIMIZE);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "sizeloop") == 0) {
    PostMessageA(game, WM_SYSCOMMAND, SC_SIZE, 0);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "layout") == 0) {
    HWND start = GetDlgItem(game, 401);
    RECT r = {};
    GetWindowRect(start, &r);
    MapWindowPoints(nullptr, game, reinterpret_cast<POINT*>(&r), 2);
    LOGFONTA font = {};
    HGDIOBJ used = reinterpret_cast<HGDIOBJ>(SendMessageA(start, WM_GETFONT, 0, 0));
    GetObjectA(used != nullptr ? used : GetStockObject(SYSTEM_FONT), sizeof font, &font);
    HDC dc = GetDC(game);
    std::printf("%d %ld %ld %ld %ld %ld %ld %ld\n", GetDeviceCaps(dc, LOGPIXELSX), client.right, client.bottom,
                r.left, r.top, r.right, r.bottom, font.lfHeight);
    ReleaseDC(game, dc);
    return 0;
  }
  const int ids[4] = {200, 201, 300, 301};
  for (int i = 0; i < 4; ++i) {
    char text[32] = "?";
    GetDlgItemTextA(game, ids[i], text, sizeof(text));
    std::printf(i < 3 ? "%s " : "%s\n", text);
  }
  return 0;
}
