// The drawing objects: the cell pens and brushes, made once, and the fonts,
// made again when the layout's DPI changes; never one per frame.
#include "ui/frame_rendering.h"

#include "engine/engine.h"
#include "ui/layout.h"

HFONT titleFont;
HFONT controlFont;
HFONT linesFont;
HPEN pens[CELL_VALUES];
HBRUSH brushes[CELL_VALUES];

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

