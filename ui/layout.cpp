// Screen layout: the RectFrame rules and the one-time computation of every
// rectangle from the screen size.
#include "ui/layout.h"

#include <algorithm>

int32_t screenWidth;
int32_t screenHeight;
int32_t clientWidth;
int32_t clientHeight;
RectFrame boardFrame[2];
RectFrame previewFrame[2];
RectFrame swapFrame;

ControlPlace startPlace;
ControlPlace stopPlace;
ControlPlace configPlace[2];
ControlPlace shadowPlace[2];
ControlPlace scorePlace[2];
ControlPlace levelPlace[2];

RectFrame::RectFrame() : rect{0, 0, 0, 0}, width(0), height(0) {}

RectFrame::~RectFrame() {}

void RectFrame::Set(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  rect = {left, top, right, bottom};
}

void RectFrame::Move(int32_t dx, int32_t dy) {
  rect.left += dx;
  rect.right += dx;
  rect.top += dy;
  rect.bottom += dy;
}

// The midpoint truncates toward zero, as 32-bit division does; the sum is
// taken in 64 bits so that no pair of coordinates can overflow it.
static int32_t Midpoint(int32_t a, int32_t b) {
  return static_cast<int32_t>((static_cast<int64_t>(a) + b) / 2);
}

void RectFrame::Normalise() {
  if (rect.right < rect.left) std::swap(rect.left, rect.right);
  if (rect.bottom < rect.top) std::swap(rect.top, rect.bottom);
  width = rect.right - rect.left;
  height = rect.bottom - rect.top;
  if (width < MIN_FRAME_SIDE) {
    const int32_t m = Midpoint(rect.left, rect.right);
    rect.left = m;
    rect.right = m + MIN_FRAME_SIDE;
    width = MIN_FRAME_SIDE;
  }
  if (height < MIN_FRAME_SIDE) {
    const int32_t m = Midpoint(rect.top, rect.bottom);
    rect.top = m;
    rect.bottom = m + MIN_FRAME_SIDE;
    height = MIN_FRAME_SIDE;
  }
}

static int32_t ClampSide(int32_t side) { return std::clamp<int32_t>(side, 0, MAX_SCREEN_SIDE); }

int32_t LayoutWidth(int32_t width, int32_t height) {
  return std::min(ClampSide(width), (3 * ClampSide(height)) / 2);
}

static void PlaceControls() {
  const int32_t cx = clientWidth / 2;
  const int32_t y3 = (3 * clientHeight) / 4;
  const int32_t y5 = (5 * clientHeight) / 8;
  startPlace = {cx - 65, y3, 60, 30};
  stopPlace = {cx + 5, y3, 60, 30};
  configPlace[0] = {cx - 65, y3 + 40, 60, 30};
  configPlace[1] = {cx + 5, y3 + 40, 60, 30};
  shadowPlace[0] = {cx - 75, y3 + 80, 70, 30};
  shadowPlace[1] = {cx + 5, y3 + 80, 70, 30};
  scorePlace[0] = {cx - 80, y5, 70, 20};
  scorePlace[1] = {cx + 10, y5, 70, 20};
  levelPlace[0] = {cx - 80, y5 + 30, 70, 20};
  levelPlace[1] = {cx + 10, y5 + 30, 70, 20};
}

void ComputeLayout(int32_t width, int32_t height) {
  screenWidth = width;
  screenHeight = height;
  const int32_t w = LayoutWidth(width, height);
  const int32_t h = ClampSide(height);

  clientWidth = (2 * w) / 3;
  clientHeight = (2 * h) / 3;

  const int32_t side = clientWidth / 3;
  boardFrame[0].Set(0, 0, side, 2 * side);
  boardFrame[0].Move(clientWidth / 24, (clientHeight - 2 * side) / 2);
  boardFrame[0].Normalise();

  boardFrame[1].rect = boardFrame[0].rect;
  boardFrame[1].Normalise();
  boardFrame[1].Move((2 * clientWidth) / 3 - clientWidth / 12, 0);
  boardFrame[1].Normalise();

  const int32_t wellW = boardFrame[0].width;
  const int32_t wellH = boardFrame[0].height;
  previewFrame[0].Set(0, 0, (2 * wellW) / 10, (4 * wellH) / 20);
  previewFrame[1].rect = previewFrame[0].rect;
  previewFrame[0].Normalise();
  previewFrame[1].Normalise();

  int32_t pw = previewFrame[0].width;
  previewFrame[0].Move(clientWidth / 2 - pw / 3 - pw, boardFrame[0].rect.top);
  previewFrame[0].Normalise();
  pw = previewFrame[1].width;
  previewFrame[1].Move(pw / 3 + clientWidth / 2, boardFrame[1].rect.top);
  previewFrame[1].Normalise();

  swapFrame.Set(0, 0, (4 * wellW) / 10, (4 * wellH) / 20);
  swapFrame.Normalise();
  swapFrame.Move(clientWidth / 2 - swapFrame.width / 2, previewFrame[0].rect.bottom + swapFrame.height / 3);
  swapFrame.Normalise();

  PlaceControls();
}
