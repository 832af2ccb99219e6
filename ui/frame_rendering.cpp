// Frame rendering: drawing objects, off-screen images, the per-frame drawing
// of wells, previews and the swap box, and the copy to the window.
#include "ui/frame_rendering.h"

#include <cstdio>

#include "controls/config_dialog.h"
#include "controls/control_set.h"
#include "engine/engine.h"
#include "ui/layout.h"

HFONT titleFont;
HFONT controlFont;
HFONT linesFont;
HPEN pens[CELL_VALUES];
HBRUSH brushes[CELL_VALUES];

HBITMAP boardBitmap[2];
HDC boardDC[2];
HBITMAP previewBitmap[2];
HDC previewDC[2];
HBITMAP swapBitmap;
HDC swapDC;

ImageRecord imageRecord;
bool remoteWell[2];

const char TITLE_TEXT[] = "BlockTide";

// The title's font: 48 pixels high at 96 DPI (titleFontHeight), normal
// weight, every other choice the platform's default.
static_assert(FW_NORMAL == 400 && DEFAULT_CHARSET == 1, "the title font's weight and character set");
static_assert(OUT_DEFAULT_PRECIS == 0 && CLIP_DEFAULT_PRECIS == 0 && DEFAULT_QUALITY == 0 &&
                  (DEFAULT_PITCH | FF_DONTCARE) == 0,
              "the title font's defaults");

// The controls' font at another DPI than BASE_DPI: the system font's face
// at controlFontHeight, of normal weight, as the controls draw it at
// BASE_DPI (asked for in bold, as the stock font is described, the face
// found at other heights is wider and fills the Shadow boxes to the edge).
// A failed query leaves the platform's default face.
static HFONT MakeControlFont() {
  if (layoutDpi == BASE_DPI) return nullptr;
  LOGFONTA font = {};
  GetObjectA(GetStockObject(SYSTEM_FONT), sizeof font, &font);
  font.lfHeight = controlFontHeight;
  font.lfWidth = 0;
  font.lfWeight = FW_NORMAL;
  return CreateFontIndirectA(&font);
}

// The lines under the title: the stock GUI font, which is made for the
// screen's DPI; at a layout of another DPI (a monitor of another scale),
// its face at its height scaled to the layout's.
static HFONT MakeLinesFont() {
  HDC screen = GetDC(nullptr);
  const int32_t screenDpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : BASE_DPI;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  if (layoutDpi == screenDpi || screenDpi <= 0) return nullptr;
  LOGFONTA font = {};
  GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  font.lfHeight = MulDiv(font.lfHeight, layoutDpi, screenDpi);
  font.lfWidth = 0;
  return CreateFontIndirectA(&font);
}

void MakeFonts() {
  if (titleFont != nullptr) DeleteObject(titleFont);
  if (controlFont != nullptr) DeleteObject(controlFont);
  if (linesFont != nullptr) DeleteObject(linesFont);
  titleFont = CreateFontA(titleFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                          "Arial Black");
  controlFont = MakeControlFont();
  linesFont = MakeLinesFont();
}

void CreateDrawingObjects() {
  MakeFonts();
  brushes[EMPTY] = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  pens[EMPTY] = static_cast<HPEN>(GetStockObject(WHITE_PEN));
  for (int i = 1; i <= PIECE_TYPES; ++i) {
    brushes[i] = CreateSolidBrush(CellColour(i));
    pens[i] = CreatePen(PS_SOLID, 0, CellColour(i));
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
  if (controlFont != nullptr) DeleteObject(controlFont);
  controlFont = nullptr;
  if (linesFont != nullptr) DeleteObject(linesFont);
  linesFont = nullptr;
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

// A new or missing image holds nothing known: the next draw paints it whole.
static void ForgetImages() {
  for (int p = 0; p < PLAYERS; ++p) {
    imageRecord.well[p] = WellPicture::Unknown;
    imageRecord.previewKnown[p] = false;
    imageRecord.clearPending[p] = false;
  }
  imageRecord.swapKnown = false;
}

// Stops at the first bitmap or context that cannot be made: what comes
// after it is missing.
ImagesMade CreateImages(HWND window) {
  ForgetImages();
  HDC screen = GetDC(window);
  bool made = true;
  ImagesMade result = {0, false};
  for (int p = 0; p < PLAYERS; ++p) {
    made = MakeBitmap(screen, boardFrame[p], boardBitmap[p]) &&
           MakeBitmap(screen, previewFrame[p], previewBitmap[p]) && MakeContext(screen, boardDC[p]) &&
           MakeContext(screen, previewDC[p]);
    if (!made) break;
    HoldImage(boardDC[p], boardBitmap[p], boardFrame[p]);
    HoldImage(previewDC[p], previewBitmap[p], previewFrame[p]);
    imageRecord.well[p] = WellPicture::Blank;
    result.players = p + 1;
  }
  made = made && MakeBitmap(screen, swapFrame, swapBitmap) && MakeContext(screen, swapDC);
  if (made) HoldImage(swapDC, swapBitmap, swapFrame);
  ReleaseDC(window, screen);
  result.all = made;
  // The window still opens, without a game picture: say why to a debugger.
  if (!made) OutputDebugStringA("BlockTide: the off-screen images could not be created; no game picture\n");
  return result;
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
  ForgetImages();
}

static void MarkChanged(uint32_t image) { imageRecord.changed |= image; }

static void BlankWell(int p) {
  PaintBlank(boardDC[p], boardFrame[p]);
  imageRecord.well[p] = WellPicture::Blank;
  MarkChanged(WELL_IMAGE << p);
}

// The frame tick's drawing steps, which the engine calls as host operations.
// Every frame tick follows a well's clear with its title or its cells, so
// within a frame the clear only notes that the well starts afresh.
void ClearWellImage(int p) {
  if (imageRecord.inFrame) {
    imageRecord.clearPending[p] = true;
    return;
  }
  BlankWell(p);
}

// What the well of a player shows under the title: nothing (before the
// first match ends, or the match being paused for this well), the last
// match's figures between matches, the player's own figures from the moment
// they are out, or that the match is paused and how to go on.
static TitleNote NoteFor(int p) {
  const MatchFigures& m = matchFigures;
  if (m.running && gameState.gameOver[p]) return TitleNote::Out;
  if (m.running && gameState.paused) return TitleNote::Paused;
  return m.running || m.matchesEnded == 0 ? TitleNote::None : TitleNote::Ended;
}

// Under the title, in the stock GUI font (linesFont at another DPI):
// player p's figures ("winner" or "out" first) and the tally.
static void DrawFigures(HDC dc, int p, const RECT& well, TitleNote note) {
  const MatchFigures& m = matchFigures;
  PlayerFigures f = note == TitleNote::Out ? m.now[p] : m.last[p];
  if (note == TitleNote::Out) f.score = gameState.score[p];
  const int64_t pps = PiecesPerSecond100(f.pieces, f.frames);
  const char* first = note == TitleNote::Out ? "out\n" : m.winner == p ? "winner\n" : "";
  char text[400];
  std::snprintf(text, sizeof text,
                "%sscore %d\npieces %lld, %lld.%02lld a second\nrows %lld, garbage sent %lld\nswaps %lld, %lld "
                "points\nwins %d",
                first, f.score, static_cast<long long>(f.pieces), static_cast<long long>(pps / 100),
                static_cast<long long>(pps % 100), static_cast<long long>(f.rows), static_cast<long long>(f.sent),
                static_cast<long long>(f.swaps), static_cast<long long>(-f.swaps * SWAP_COST), m.wins[p]);
  RECT area = well;
  area.top = well.bottom / 2 + ScaleToDpi(32, layoutDpi);
  SelectObject(dc, linesFont != nullptr ? static_cast<HGDIOBJ>(linesFont) : GetStockObject(DEFAULT_GUI_FONT));
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextA(dc, text, -1, &area, DT_CENTER | DT_NOPREFIX);
}

// "paused" and the key or button that resumes it, by the name the Config
// dialog shows; none for the computer or the other PC's player, whose keys
// are not at this one.
static void DrawPaused(HDC dc, int p, const RECT& well) {
  char text[BINDING_TEXT_SIZE + 32] = "paused";
  if (controls[p].keyboardMode != COMPUTER_MODE && !remoteWell[p]) {
    char name[BINDING_TEXT_SIZE];
    FormatBinding(p, controls[p].bindings[static_cast<int>(Action::Pause)], name);
    if (name[0] != '\0') std::snprintf(text, sizeof text, "paused\n%s resumes", name);
  }
  RECT area = well;
  area.top = well.bottom / 2 + ScaleToDpi(32, layoutDpi);
  SelectObject(dc, linesFont != nullptr ? static_cast<HGDIOBJ>(linesFont) : GetStockObject(DEFAULT_GUI_FONT));
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextA(dc, text, -1, &area, DT_CENTER | DT_NOPREFIX);
}

// The title drawn over a blank well is the same picture whatever the well
// held, so a well that shows it already (with the same lines) is left alone.
void DrawTitle(int p) {
  const bool cleared = imageRecord.clearPending[p];
  imageRecord.clearPending[p] = false;
  const TitleNote note = NoteFor(p);
  const int32_t match = matchFigures.running ? 0 : matchFigures.matchesEnded;
  const int32_t wins = matchFigures.wins[p];
  const bool sameFigures =
      imageRecord.titleMatch[p] == match && imageRecord.titleWins[p] == wins && imageRecord.titleNote[p] == note;
  if (imageRecord.well[p] == WellPicture::Title && sameFigures) return;
  if (cleared || imageRecord.well[p] == WellPicture::Title) BlankWell(p);

  HDC dc = boardDC[p];
  RECT area;
  SetRect(&area, 0, 0, boardFrame[p].width, boardFrame[p].height);
  SelectObject(dc, titleFont);
  SetTextColor(dc, TITLE_COLOUR);
  DrawTextA(dc, TITLE_TEXT, -1, &area, TITLE_FORMAT);
  imageRecord.titleMatch[p] = match;
  imageRecord.titleWins[p] = wins;
  imageRecord.titleNote[p] = note;
  if (note == TitleNote::Ended || note == TitleNote::Out) DrawFigures(dc, p, area, note);
  if (note == TitleNote::Paused) DrawPaused(dc, p, area);
  // Over cells (a step called on its own) the text makes a picture of its own.
  imageRecord.well[p] = imageRecord.well[p] == WellPicture::Blank ? WellPicture::Title : WellPicture::Unknown;
  MarkChanged(WELL_IMAGE << p);
}

// The cell tiling: edge i of n across a side of the given length. Unsigned,
// as the widths are; the layout keeps every side far below overflow.
static int Edge(uint32_t i, uint32_t length, uint32_t n) { return static_cast<int>(i * length / n); }

// Paints the cells of a cols x rows image whose style differs from the held
// one (all of them when nothing is held) and then the outline, which the
// edge cells cover. Cells tile the whole image, so what is left untouched is
// already what a full redraw would paint. Returns whether anything changed.
static bool PaintCells(HDC dc, const RectFrame& frame, uint32_t cols, uint32_t rows, const int8_t* want,
                       int8_t* held, bool& known) {
  const uint32_t w = frame.width;
  const uint32_t h = frame.height;
  bool painted = false;
  for (uint32_t c = 0; c < cols; ++c) {
    for (uint32_t r = 0; r < rows; ++r) {
      const uint32_t i = c * rows + r;
      if (known && held[i] == want[i]) continue;
      PaintCell(dc, want[i], Edge(c, w, cols), Edge(r, h, rows), Edge(c + 1, w, cols), Edge(r + 1, h, rows));
      held[i] = want[i];
      painted = true;
    }
  }
  known = true;
  if (painted) PaintOutline(dc, frame);
  return painted;
}

ImagesMade RemakeImages(HWND window) {
  const ImageRecord held = imageRecord;
  DestroyImages();
  const ImagesMade made = CreateImages(window);
  for (int p = 0; p < made.players; ++p) {
    if (held.well[p] == WellPicture::Title) DrawTitle(p);
    if (held.well[p] == WellPicture::Cells) {
      bool known = false;
      PaintCells(boardDC[p], boardFrame[p], WELL_COLUMNS, WELL_ROWS, held.wellCells[p], imageRecord.wellCells[p],
                 known);
      imageRecord.well[p] = WellPicture::Cells;
    }
    if (held.previewKnown[p]) {
      PaintCells(previewDC[p], previewFrame[p], 2, 4, held.previewCells[p], imageRecord.previewCells[p],
                 imageRecord.previewKnown[p]);
    }
  }
  if (made.all && held.swapKnown) {
    PaintCells(swapDC, swapFrame, 4, 4, held.swapCells, imageRecord.swapCells, imageRecord.swapKnown);
  }
  imageRecord.changed = held.changed;
  return made;
}

void DrawPlayer(int p) {
  ComposeDrawBoard(p);

  // The cells cover a cleared well entirely: the clear changes nothing.
  imageRecord.clearPending[p] = false;
  int8_t cells[WELL_COLUMNS * WELL_ROWS];
  for (int i = 0; i < WELL_COLUMNS * WELL_ROWS; ++i) cells[i] = static_cast<int8_t>(CellStyle(gameState.drawBoard[p][i]));
  bool wellKnown = imageRecord.well[p] == WellPicture::Cells;
  if (PaintCells(boardDC[p], boardFrame[p], WELL_COLUMNS, WELL_ROWS, cells, imageRecord.wellCells[p], wellKnown)) {
    MarkChanged(WELL_IMAGE << p);
  }
  imageRecord.well[p] = WellPicture::Cells;

  // The preview stands the next piece upright, a quarter turn clockwise:
  // template row 0 is the right-hand column, its column 0 the top row. The
  // blank preview counts down on every frame the player is in play, drawn
  // or not.
  const bool blind = gameState.previewBlind[p] != 0;
  if (blind) --gameState.previewBlind[p];
  const PieceTemplate& next = gameState.nextPiece[p];
  int8_t preview[8];
  for (int c = 0; c < 2; ++c) {
    for (int r = 0; r < 4; ++r) preview[c * 4 + r] = static_cast<int8_t>(blind ? EMPTY : CellStyle(next[r * 2 + (1 - c)]));
  }
  if (PaintCells(previewDC[p], previewFrame[p], 2, 4, preview, imageRecord.previewCells[p],
                 imageRecord.previewKnown[p])) {
    MarkChanged(PREVIEW_IMAGE << p);
  }
}

void DrawSwapBox() {
  int8_t cells[16];
  for (int i = 0; i < 16; ++i) cells[i] = static_cast<int8_t>(CellStyle(gameState.swapPiece[i]));
  if (PaintCells(swapDC, swapFrame, 4, 4, cells, imageRecord.swapCells, imageRecord.swapKnown)) MarkChanged(SWAP_IMAGE);
}

void BeginFrameDrawing() { imageRecord.inFrame = true; }

void EndFrameDrawing() { imageRecord.inFrame = false; }

static void InvalidateFrame(HWND window, const RectFrame& frame) {
  RECT r;
  SetRect(&r, frame.rect.left, frame.rect.top, frame.rect.right, frame.rect.bottom);
  InvalidateRect(window, &r, FALSE);
}

void InvalidateChangedImages(HWND window) {
  const uint32_t changed = imageRecord.changed;
  imageRecord.changed = 0;
  for (int p = 0; p < PLAYERS; ++p) {
    if (changed & (WELL_IMAGE << p)) InvalidateFrame(window, boardFrame[p]);
    if (changed & (PREVIEW_IMAGE << p)) InvalidateFrame(window, previewFrame[p]);
  }
  if (changed & SWAP_IMAGE) InvalidateFrame(window, swapFrame);
}

// Only images that meet the update region are copied: a frame that changed
// one image repaints that image alone.
static void CopyImage(HDC target, const RECT& update, HDC image, const RectFrame& frame) {
  RECT r, meet;
  SetRect(&r, frame.rect.left, frame.rect.top, frame.rect.right, frame.rect.bottom);
  if (!IntersectRect(&meet, &r, &update)) return;
  BitBlt(target, frame.rect.left, frame.rect.top, frame.width, frame.height, image, 0, 0, SRCCOPY);
}

void PaintWindow(HWND window) {
  PAINTSTRUCT paint;
  HDC target = BeginPaint(window, &paint);
  CopyImage(target, paint.rcPaint, boardDC[0], boardFrame[0]);
  CopyImage(target, paint.rcPaint, boardDC[1], boardFrame[1]);
  CopyImage(target, paint.rcPaint, previewDC[0], previewFrame[0]);
  CopyImage(target, paint.rcPaint, previewDC[1], previewFrame[1]);
  CopyImage(target, paint.rcPaint, swapDC, swapFrame);
  EndPaint(window, &paint);
}
