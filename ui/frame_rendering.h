// Frame rendering: the drawing objects (font, pens, brushes), the five
// off-screen images with their drawing contexts, and the drawing steps.
#pragma once

#include <windows.h>

#include <cstdint>

#include "engine/game_state.h"

// One pen and one brush per cell value, in CellColour's colours: 0 empty
// (the stock white ones), 1 to 7 the shapes', 8 the ghost (the stock black
// ones). Created once at start-up. The fonts follow the layout's DPI
// (MakeFonts): the title's, and the child controls' (none at BASE_DPI,
// where the controls keep the system font they are made with).
constexpr int CELL_VALUES = 9;
extern HFONT titleFont;
extern HFONT controlFont;
extern HFONT linesFont;  // the lines under the title; none at the screen's DPI (the stock GUI font)
extern HPEN pens[CELL_VALUES];
extern HBRUSH brushes[CELL_VALUES];

// The off-screen images, made with the main window; each bitmap stays
// selected into its context for the whole run. Null when missing.
extern HBITMAP boardBitmap[2];
extern HDC boardDC[2];
extern HBITMAP previewBitmap[2];
extern HDC previewDC[2];
extern HBITMAP swapBitmap;
extern HDC swapDC;

extern const char TITLE_TEXT[];               // "BlockTide"
constexpr COLORREF TITLE_COLOUR = RGB(255, 0, 0);
constexpr UINT TITLE_FORMAT = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
static_assert(TITLE_COLOUR == 0xFF, "the title's red");
static_assert(TITLE_FORMAT == 0x25, "the title's centring");

// What each retained image holds, so that a frame draws only the images
// (and within them the cells) whose picture changed, and the window repaints
// only those images. Cells are kept as the style drawn (0 to 8).
enum class WellPicture : int32_t { Unknown, Blank, Title, Cells };
// The lines under a Title picture: none, the last match's figures, the
// player's own figures once out while the other plays on, or "paused".
enum class TitleNote : int32_t { None, Ended, Out, Paused };

// Image bits of ImageRecord::changed: well p, preview p, the swap box.
constexpr uint32_t WELL_IMAGE = 1u;      // << p
constexpr uint32_t PREVIEW_IMAGE = 4u;   // << p
constexpr uint32_t SWAP_IMAGE = 16u;

struct ImageRecord {
  WellPicture well[2];
  int8_t wellCells[2][WELL_COLUMNS * WELL_ROWS];  // when well[p] is Cells
  bool previewKnown[2];
  int8_t previewCells[2][8];                      // column by column, 2 x 4
  bool swapKnown;
  int8_t swapCells[16];
  // True while the frame timer runs a tick: a well's clear then waits
  // for the draw that follows it in the same tick, which paints only what
  // differs. Called on their own (tests, benchmarks), the steps paint at once.
  bool inFrame;
  bool clearPending[2];
  // What a Title picture's figures show: the ended match and the wins (the
  // match number 0 while a match runs or before the first one ends).
  int32_t titleMatch[2];
  int32_t titleWins[2];
  TitleNote titleNote[2];
  uint32_t changed;  // images painted since the last RequestRepaint
};
extern ImageRecord imageRecord;

// The wells of the other PC's player in a network match (network_match.cpp
// writes it): their paused well names no key of this PC's.
extern bool remoteWell[2];

// The entry point, after the layout: the fonts, then pens and brushes 0 to 8.
void CreateDrawingObjects();
// The fonts for the layout's DPI and font heights (layout.h), made afresh
// and the old ones deleted: at start-up and when the window's DPI changes,
// after which the window hands controlFont to its controls.
void MakeFonts();
// The entry point, after the message loop: the stock objects stay.
void DestroyDrawingObjects();

// What CreateImages made: the players whose well and preview images exist
// (the first `players`), and whether every image, the swap box's too, does.
struct ImagesMade {
  int players;
  bool all;
};
// The main window's creation: the five images. Stops at the first object
// that cannot be made, leaving the rest missing.
ImagesMade CreateImages(HWND window);
// The main window's destruction.
void DestroyImages();
// A new layout (a resize or a new DPI): the images made afresh at the new
// sizes, each painted again with what it held (the title, or the cells as
// last drawn), so that nothing of the match is asked for again.
ImagesMade RemakeImages(HWND window);

// The main window's paint request: copies the images that meet the update
// region to the window.
void PaintWindow(HWND window);

// The bracket around the frame ticks the frame timer runs (RunFrameTick,
// frame_pacing.h): within it the wells' clears wait for the draw that
// follows them (ImageRecord::inFrame).
void BeginFrameDrawing();
void EndFrameDrawing();

// RequestRepaint: invalidates, without erasing, the rectangle of each image
// painted since the last call, and nothing when none was.
void InvalidateChangedImages(HWND window);

// The frame tick's drawing steps are the engine's host operations
// ClearWellImage, DrawTitle, DrawPlayer and DrawSwapBox (engine/host.h),
// defined in frame_rendering.cpp.
