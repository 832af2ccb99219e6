// Screen layout: every rectangle of the game (client area, wells, previews,
// swap box, child controls) and the font heights, from the screen size at
// start-up and from the client size after each resize, for the window's DPI.
// No platform header: the layout is built and tested natively too.
#pragma once

#include <cstdint>

// No frame is ever thinner than this.
constexpr int32_t MIN_FRAME_SIDE = 2;

// Screen sides are clamped into 0..MAX_SCREEN_SIDE before any arithmetic, so
// that no product of the layout (or of the cell tiling) can overflow.
constexpr int32_t MAX_SCREEN_SIDE = 65536;

// Right and bottom are exclusive.
struct FrameEdges {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// A rectangle with its width and height kept alongside.
class RectFrame {
 public:
  RectFrame();
  virtual ~RectFrame();

  // Sets the rectangle; width and height follow only at the next Normalise.
  void Set(int32_t left, int32_t top, int32_t right, int32_t bottom);
  // Moves the rectangle; width and height stay as they are.
  void Move(int32_t dx, int32_t dy);
  // Orders the edges, recomputes width and height and widens a side thinner
  // than MIN_FRAME_SIDE around its midpoint. Idempotent.
  void Normalise();

  FrameEdges rect;
  int32_t width;
  int32_t height;
};

// Where a child control sits in the client area.
struct ControlPlace {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
};

// ---- The layout globals (filled by ComputeLayout) --------------------------
// The screen size as read at start-up (stored as given, before clamping;
// ComputeClientLayout leaves it).
extern int32_t screenWidth;
extern int32_t screenHeight;
extern int32_t clientWidth;
extern int32_t clientHeight;
extern RectFrame boardFrame[2];    // player 0 left, player 1 right
extern RectFrame previewFrame[2];
extern RectFrame swapFrame;

extern ControlPlace startPlace;      // 401
extern ControlPlace stopPlace;       // 402
extern ControlPlace configPlace[2];  // 420 + p
extern ControlPlace shadowPlace[2];  // 410 + p
extern ControlPlace scorePlace[2];   // 200 + p
extern ControlPlace levelPlace[2];   // 300 + p

// The DPI the figures of today's layout are in; at any other DPI they are
// computed in these units and scaled by dpi / BASE_DPI. A DPI outside
// MIN_DPI..MAX_DPI is taken as BASE_DPI.
constexpr int32_t BASE_DPI = 96;
constexpr int32_t MIN_DPI = 24;
constexpr int32_t MAX_DPI = 960;
// The fonts' heights in pixels at BASE_DPI: the title's, and the child
// controls' (the system font's cell, which they have at BASE_DPI).
constexpr int32_t TITLE_FONT_HEIGHT = 48;
constexpr int32_t CONTROL_FONT_HEIGHT = 16;
// The smallest client area, in BASE_DPI units, that keeps every control
// whole and clear of the wells: the Shadow boxes end 110 below three
// quarters of the height, and the labels reach 80 either side of the middle,
// which the wells leave free from about an eighth of the width on (with a
// few pixels to spare for the rounding of the scaled layout).
constexpr int32_t MIN_CLIENT_WIDTH = 656;
constexpr int32_t MIN_CLIENT_HEIGHT = 448;

// The DPI the layout globals are for, and the fonts' heights at it.
extern int32_t layoutDpi;
extern int32_t titleFontHeight;
extern int32_t controlFontHeight;

// A length in BASE_DPI units at `dpi` (rounded to the nearest pixel), and
// back; both take the DPI through the MIN_DPI..MAX_DPI rule.
int32_t ScaleToDpi(int32_t length, int32_t dpi);
int32_t ScaleFromDpi(int32_t length, int32_t dpi);

// The width the layout is computed from: a screen wider than 3:2 is laid
// out as a 3:2 screen of the same height, so the wells (twice as high as
// wide, both taken from the width) stay inside the client area.
int32_t LayoutWidth(int32_t width, int32_t height);

// Fills every layout global for a screen of width x height at BASE_DPI.
void ComputeLayout(int32_t width, int32_t height);
// The entry point's layout, before the window exists: the screen's physical
// size at `dpi`, laid out as ComputeLayout lays out its size in BASE_DPI
// units, every rectangle, size and font height then scaled to `dpi`.
// At BASE_DPI exactly ComputeLayout.
void ComputeScaledLayout(int32_t width, int32_t height, int32_t dpi);
// A resized window's layout: the client area's physical size at `dpi`.
// Laid out by the same rule from the screen whose layout has this client
// area (the client two thirds of it) in BASE_DPI units; a client wider than
// 3:2 gets the layout of its height, centred. clientWidth and clientHeight
// are then the size given (clamped into 0..MAX_SCREEN_SIDE). A client of
// the size ComputeScaledLayout gave gets the same layout again.
void ComputeClientLayout(int32_t width, int32_t height, int32_t dpi);
