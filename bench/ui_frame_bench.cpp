// The drawing work of one frame (two wells with ghost and piece, two
// previews, the swap box) into the off-screen images: a timed loop under
// Wine, printed as microseconds per frame.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "ui/frame_rendering.h"
#include "ui/layout.h"

namespace {

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// Both players in play, half-filled wells, ghosts on: every cell drawn.
void SetUpMatch() {
  gameState = {};
  for (int p = 0; p < PLAYERS; ++p) {
    for (int c = 0; c < WELL_COLUMNS; ++c)
      for (int r = 10; r < WELL_ROWS; ++r) gameState.board[p][c * WELL_ROWS + r] = (c * 7 + r) % 8;
    LoadTemplate(gameState.curPiece[p], PieceTable[p + 2]);
    std::memcpy(gameState.nextPiece[p], PieceTable[p + 4], sizeof(PieceTemplate));
    gameState.pieceX[p] = SPAWN_COLUMN;
    gameState.shadowOn[p] = 1;
  }
  LoadTemplate(gameState.swapPiece, PieceTable[6]);
}

double MicrosecondsPerFrame(int frames) {
  LARGE_INTEGER freq, start, stop;
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&start);
  for (int f = 0; f < frames; ++f) {
    for (int p = 0; p < PLAYERS; ++p) {
      ClearWellImage(p);
      DrawPlayer(p);
    }
    DrawSwapBox();
  }
  GdiFlush();
  QueryPerformanceCounter(&stop);
  return 1e6 * static_cast<double>(stop.QuadPart - start.QuadPart) / static_cast<double>(freq.QuadPart) / frames;
}

}  // namespace

int main() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "ui_frame_bench";
  RegisterClassA(&wc);
  HWND window = CreateWindowA("ui_frame_bench", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  CreateDrawingObjects();
  ComputeLayout(1024, 768);
  CreateImages(window);
  SetUpMatch();

  MicrosecondsPerFrame(200);  // warm-up
  double best = 1e30;
  for (int run = 0; run < 5; ++run) {
    const double us = MicrosecondsPerFrame(2000);
    if (us < best) best = us;
    std::printf("run %d: %.1f us per frame\n", run, us);
  }
  std::printf("frame drawing, 1024x768 layout: best %.1f us per frame (frame period 10000 us)\n", best);

  DestroyImages();
  DestroyWindow(window);
  DestroyDrawingObjects();
  return 0;
}
