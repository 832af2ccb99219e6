// Frame rendering: the drawing objects (font, pens, brushes), the five
// off-screen images with their drawing contexts, and the drawing steps.
#pragma once

#include <windows.h>

#include <cstdint>

// One pen and one brush per cell value: 0 empty (white), 1 to 7 the
// ColourTable colours, 8 the ghost (black). Created once at start-up.
constexpr int CELL_VALUES = 9;
extern HFONT titleFont;
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
constexpr COLORREF TITLE_COLOUR = 0xFF;       // pure red
constexpr UINT TITLE_FORMAT = 0x25;           // centred both ways, single line

// The entry point, before the layout: font, then pens and brushes 0 to 8.
void CreateDrawingObjects();
// The entry point, after the message loop: the stock objects stay.
void DestroyDrawingObjects();

// The main window's creation: the five images, then the gravity timers 1
// and 2 and the frame timer 0. Stops at the first object that cannot be
// made, leaving the rest (and their timers) missing.
void CreateImages(HWND window);
// The main window's destruction.
void DestroyImages();

// The main window's paint request: copies the five images to the window.
void PaintWindow(HWND window);

// The frame tick's drawing steps are the engine's host operations
// ClearWellImage, DrawTitle, DrawPlayer and DrawSwapBox (engine/host.h),
// defined in frame_rendering.cpp.
