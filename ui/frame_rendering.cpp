// Frame rendering: drawing objects, off-screen images, the per-frame drawing
// of wells, previews and the swap box, and the copy to the window.
#include "ui/frame_rendering.h"

#include "engine/engine.h"
#include "ui/layout.h"

HFONT titleFont;
HPEN pens[CELL_VALUES];
HBRUSH brushes[CELL_VALUES];

HBITMAP boardBitmap[2];
HDC boardDC[2];
HBITMAP previewBitmap[2];
HDC previewDC[2];
HBITMAP swapBitmap;
HDC swapDC;

const char TITLE_TEXT[] = "BlockTide";

void CreateDrawingObjects() {
  titleFont = CreateFontA(48, 0, 0, 0, 400, FALSE, FALSE, FALSE, 1, 0, 0, 0, 0, "Arial Black");
  brushes[0] = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  pens[0] = static_cast<HPEN>(GetStockObject(WHITE_PEN));
  for (int i = 1; i <= PIECE_TYPES; ++i) {
    brushes[i] = CreateSolidBrush(ColourTable[i - 1]);
    pens[i] = CreatePen(PS_SOLID, 0, ColourTable[i - 1]);
  }
  brushes[GHOST] = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  pens[GHOST] = static_cast<HPEN>(GetStockObject(BLACK_PEN));
}

void DestroyDrawingObjects() {
  for (int i = 1; i <= PIECE_TYPES; ++i) {
    DeleteObject(brushes[i]);
    DeleteObject(pens[i]);
    brushes[i] = nullptr;
    pens[i] = nullptr;
  }
  DeleteObject(titleFont);
  titleFont = nullptr;
}

// A stored or composed cell holds 0 to 8; anything else is drawn as empty
// rather than indexing past the pens and brushes.
static int CellStyle(int32_t value) { return value >= 0 && value < CELL_VALUES ? value : EMPTY; }

// One cell: brush and pen of its value, then one rectangle, which fills
// columns l..r-1 and rows t..b-1 so neighbours tile without gaps.
static void PaintCell(HDC dc, int32_t value, int l, int t, int r, int b) {
  const int style = CellStyle(value);
  SelectObject(dc, brushes[style]);
  SelectObject(dc, pens[style]);
  Rectangle(dc, l, t, r, b);
}

static void PaintBlank(HDC dc, const RectFrame& frame) {
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  Rectangle(dc, 0, 0, frame.width, frame.height);
}

static void PaintOutline(HDC dc, const RectFrame& frame) {
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, 0, 0, frame.width, frame.height);
}

// The images are in the window's screen format; each context keeps its
// bitmap selected for the whole run.
static bool MakeBitmap(HDC screen, const RectFrame& frame, HBITMAP& bitmap) {
  bitmap = CreateCompatibleBitmap(screen, frame.width, frame.height);
  return bitmap != nullptr;
}

static bool MakeContext(HDC screen, HDC& dc) {
  dc = CreateCompatibleDC(screen);
  return dc != nullptr;
}

static void HoldImage(HDC dc, HBITMAP bitmap, const RectFrame& frame) {
  SelectObject(dc, bitmap);
  PaintBlank(dc, frame);
}

// Stops at the first bitmap or context that cannot be made: what comes
// after it is missing, and the timers not yet started stay off.
void CreateImages(HWND window) {
  HDC screen = GetDC(window);
  bool made = true;
  for (int p = 0; p < PLAYERS; ++p) {
    made = MakeBitmap(screen, boardFrame[p], boardBitmap[p]) &&
           MakeBitmap(screen, previewFrame[p], previewBitmap[p]) && MakeContext(screen, boardDC[p]) &&
           MakeContext(screen, previewDC[p]);
    if (!made) break;
    HoldImage(boardDC[p], boardBitmap[p], boardFrame[p]);
    HoldImage(previewDC[p], previewBitmap[p], previewFrame[p]);
    SetTimer(window, p + 1, GRAVITY_BASE_MS, nullptr);
  }
  made = made && MakeBitmap(screen, swapFrame, swapBitmap) && MakeContext(screen, swapDC);
  if (made) HoldImage(swapDC, swapBitmap, swapFrame);
  ReleaseDC(window, screen);
  if (made) SetTimer(window, 0, FRAME_PERIOD_MS, nullptr);
  // The window still opens, without a game picture: say why to a debugger.
  if (!made) OutputDebugStringA("BlockTide: the off-screen images could not be created; no game picture\n");
}

static void DestroyImage(HBITMAP& bitmap, HDC& dc) {
  if (dc != nullptr) DeleteDC(dc);
  if (bitmap != nullptr) DeleteObject(bitmap);
  dc = nullptr;
  bitmap = nullptr;
}

void DestroyImages() {
  for (int p = 0; p < PLAYERS; ++p) DestroyImage(previewBitmap[p], previewDC[p]);
  for (int p = 0; p < PLAYERS; ++p) DestroyImage(boardBitmap[p], boardDC[p]);
  DestroyImage(swapBitmap, swapDC);
}

// The frame tick's drawing steps, which the engine calls as host operations.
void ClearWellImage(int p) { PaintBlank(boardDC[p], boardFrame[p]); }

void DrawTitle(int p) {
  HDC dc = boardDC[p];
  RECT area;
  SetRect(&area, 0, 0, boardFrame[p].width, boardFrame[p].height);
  SelectObject(dc, titleFont);
  SetTextColor(dc, TITLE_COLOUR);
  DrawTextA(dc, TITLE_TEXT, -1, &area, TITLE_FORMAT);
}

// The cell tiling: edge i of n across a side of the given length. Unsigned,
// as the widths are; the layout keeps every side far below overflow.
static int Edge(uint32_t i, uint32_t length, uint32_t n) { return static_cast<int>(i * length / n); }

void DrawPlayer(int p) {
  ComposeDrawBoard(p);

  HDC well = boardDC[p];
  const uint32_t w = boardFrame[p].width;
  const uint32_t h = boardFrame[p].height;
  const Board& cells = gameState.drawBoard[p];
  for (uint32_t c = 0; c < WELL_COLUMNS; ++c) {
    for (uint32_t r = 0; r < WELL_ROWS; ++r) {
      PaintCell(well, cells[c * WELL_ROWS + r], Edge(c, w, WELL_COLUMNS), Edge(r, h, WELL_ROWS),
                Edge(c + 1, w, WELL_COLUMNS), Edge(r + 1, h, WELL_ROWS));
    }
  }

  // The preview stands the next piece upright, a quarter turn clockwise:
  // template row 0 is the right-hand column, its column 0 the top row.
  HDC preview = previewDC[p];
  const uint32_t pw = previewFrame[p].width;
  const uint32_t ph = previewFrame[p].height;
  const bool blind = gameState.previewBlind[p] != 0;
  if (blind) --gameState.previewBlind[p];
  const PieceTemplate& next = gameState.nextPiece[p];
  for (uint32_t c = 0; c < 2; ++c) {
    for (uint32_t r = 0; r < 4; ++r) {
      const int32_t value = blind ? EMPTY : next[r * 2 + (1 - c)];
      PaintCell(preview, value, Edge(c, pw, 2), Edge(r, ph, 4), Edge(c + 1, pw, 2), Edge(r + 1, ph, 4));
    }
  }

  PaintOutline(well, boardFrame[p]);
  PaintOutline(preview, previewFrame[p]);
}

void DrawSwapBox() {
  const uint32_t w = swapFrame.width;
  const uint32_t h = swapFrame.height;
  for (uint32_t c = 0; c < 4; ++c) {
    for (uint32_t r = 0; r < 4; ++r) {
      PaintCell(swapDC, gameState.swapPiece[c * 4 + r], Edge(c, w, 4), Edge(r, h, 4), Edge(c + 1, w, 4),
                Edge(r + 1, h, 4));
    }
  }
  PaintOutline(swapDC, swapFrame);
}

static void CopyImage(HDC target, HDC image, const RectFrame& frame) {
  BitBlt(target, frame.rect.left, frame.rect.top, frame.width, frame.height, image, 0, 0, SRCCOPY);
}

void PaintWindow(HWND window) {
  PAINTSTRUCT paint;
  HDC target = BeginPaint(window, &paint);
  CopyImage(target, boardDC[0], boardFrame[0]);
  CopyImage(target, boardDC[1], boardFrame[1]);
  CopyImage(target, previewDC[0], previewFrame[0]);
  CopyImage(target, previewDC[1], previewFrame[1]);
  CopyImage(target, swapDC, swapFrame);
  EndPaint(window, &paint);
}
