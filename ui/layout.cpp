// Screen layout: the RectFrame rules and the computation of every rectangle
// from the screen or client size, scaled for the DPI.
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

int32_t layoutDpi = BASE_DPI;
int32_t titleFontHeight = TITLE_FONT_HEIGHT;
int32_t controlFontHeight = CONTROL_FONT_HEIGHT;

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

// The layout of a client area of clientWidth x clientHeight, BASE_DPI units.
static void LayOutClient() {
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

void ComputeLayout(int32_t width, int32_t height) {
  screenWidth = width;
  screenHeight = height;
  clientWidth = (2 * LayoutWidth(width, height)) / 3;
  clientHeight = (2 * ClampSide(height)) / 3;
  layoutDpi = BASE_DPI;
  titleFontHeight = TITLE_FONT_HEIGHT;
  controlFontHeight = CONTROL_FONT_HEIGHT;
  LayOutClient();
}

static int32_t ValidDpi(int32_t dpi) { return dpi < MIN_DPI || dpi > MAX_DPI ? BASE_DPI : dpi; }

// Rounded to the nearest, halves away from zero, in 64 bits, and kept in
// the 32-bit range.
static int32_t Rounded(int64_t numerator, int64_t denominator) {
  const int64_t half = denominator / 2;
  const int64_t q = numerator >= 0 ? (numerator + half) / denominator : (numerator - half) / denominator;
  return static_cast<int32_t>(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
}

int32_t ScaleToDpi(int32_t length, int32_t dpi) {
  return Rounded(static_cast<int64_t>(length) * ValidDpi(dpi), BASE_DPI);
}

int32_t ScaleFromDpi(int32_t length, int32_t dpi) {
  return Rounded(static_cast<int64_t>(length) * BASE_DPI, ValidDpi(dpi));
}

// Origin and size are scaled apart, so that the two wells, and the two
// previews, stay of one size whatever the DPI.
static void ScaleFrame(RectFrame& f, int32_t dpi, int32_t dx) {
  const int32_t left = ScaleToDpi(f.rect.left, dpi) + dx;
  const int32_t top = ScaleToDpi(f.rect.top, dpi);
  f.Set(left, top, left + ScaleToDpi(f.width, dpi), top + ScaleToDpi(f.height, dpi));
  f.Normalise();
}

static void ScalePlace(ControlPlace& c, int32_t dpi, int32_t dx) {
  c = {ScaleToDpi(c.left, dpi) + dx, ScaleToDpi(c.top, dpi), ScaleToDpi(c.width, dpi), ScaleToDpi(c.height, dpi)};
}

// Every rectangle and size of the BASE_DPI layout to `dpi`, moved right by dx.
static void ScaleLayout(int32_t dpi, int32_t dx) {
  layoutDpi = ValidDpi(dpi);
  clientWidth = ScaleToDpi(clientWidth, dpi);
  clientHeight = ScaleToDpi(clientHeight, dpi);
  for (RectFrame* f : {&boardFrame[0], &boardFrame[1], &previewFrame[0], &previewFrame[1], &swapFrame}) {
    ScaleFrame(*f, dpi, dx);
  }
  for (ControlPlace* c : {&startPlace, &stopPlace, &configPlace[0], &configPlace[1], &shadowPlace[0],
                          &shadowPlace[1], &scorePlace[0], &scorePlace[1], &levelPlace[0], &levelPlace[1]}) {
    ScalePlace(*c, dpi, dx);
  }
  titleFontHeight = ScaleToDpi(TITLE_FONT_HEIGHT, dpi);
  controlFontHeight = ScaleToDpi(CONTROL_FONT_HEIGHT, dpi);
}

static int32_t InUnits(int32_t side, int32_t dpi) {
  return ClampSide(ScaleFromDpi(ClampSide(side), dpi));
}

void ComputeScaledLayout(int32_t width, int32_t height, int32_t dpi) {
  ComputeLayout(InUnits(width, dpi), InUnits(height, dpi));
  ScaleLayout(dpi, 0);
  screenWidth = width;
  screenHeight = height;
}

// The screen whose client is c is (3 c + 1) / 2 wide: two thirds of it,
// truncated, is c again. A client wider than 3:2 then gets a narrower
// layout (LayoutWidth), centred in it.
void ComputeClientLayout(int32_t width, int32_t height, int32_t dpi) {
  const int32_t startWidth = screenWidth;
  const int32_t startHeight = screenHeight;
  ComputeLayout((3 * InUnits(width, dpi) + 1) / 2, (3 * InUnits(height, dpi) + 1) / 2);
  screenWidth = startWidth;
  screenHeight = startHeight;
  const int32_t realWidth = ClampSide(width);
  ScaleLayout(dpi, (realWidth - ScaleToDpi(clientWidth, dpi)) / 2);
  clientWidth = realWidth;
  clientHeight = ClampSide(height);
}
