// Screen layout: every rectangle of the game (client area, wells, previews,
// swap box, child controls), computed once from the screen size. No platform
// header: the layout is built and tested natively too.
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
// The screen size as read at start-up (stored as given, before clamping).
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

// The width the layout is computed from: a screen wider than 3:2 is laid
// out as a 3:2 screen of the same height, so the wells (twice as high as
// wide, both taken from the width) stay inside the client area.
int32_t LayoutWidth(int32_t width, int32_t height);

// Called once by the entry point, after the drawing objects are made and
// before the window class is registered: fills every layout global.
void ComputeLayout(int32_t width, int32_t height);
