// The screen layout: worked examples, Normalise, the wide-screen rule and
// a sweep of screen sizes.
#include "ui/layout.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

void ExpectRect(const RectFrame& f, int32_t l, int32_t t, int32_t r, int32_t b, const char* what) {
  EXPECT_EQ(l, f.rect.left) << what;
  EXPECT_EQ(t, f.rect.top) << what;
  EXPECT_EQ(r, f.rect.right) << what;
  EXPECT_EQ(b, f.rect.bottom) << what;
  EXPECT_EQ(r - l, f.width) << what;
  EXPECT_EQ(b - t, f.height) << what;
}

void ExpectPlace(const ControlPlace& c, int32_t l, int32_t t, int32_t w, int32_t h, const char* what) {
  EXPECT_EQ(l, c.left) << what;
  EXPECT_EQ(t, c.top) << what;
  EXPECT_EQ(w, c.width) << what;
  EXPECT_EQ(h, c.height) << what;
}

RectFrame Normalised(int32_t l, int32_t t, int32_t r, int32_t b) {
  RectFrame f;
  f.Set(l, t, r, b);
  f.Normalise();
  return f;
}

}  // namespace

TEST(RectFrame, StartsEmptyAndNormalises) {
  RectFrame fresh;
  ExpectRect(fresh, 0, 0, 0, 0, "new frame");

  ExpectRect(Normalised(10, 10, 11, 30), 10, 10, 12, 30, "too thin");
  ExpectRect(Normalised(5, 8, 1, 2), 1, 2, 5, 8, "reversed edges");
  // (-3 + -2) / 2 truncates toward zero, to -2.
  ExpectRect(Normalised(-3, 0, -2, 10), -2, 0, 0, 10, "negative midpoint");
  ExpectRect(Normalised(7, 7, 7, 7), 7, 7, 9, 9, "a point");

  RectFrame twice = Normalised(4, 9, 3, 1);
  const RectFrame once = twice;
  twice.Normalise();
  ExpectRect(twice, once.rect.left, once.rect.top, once.rect.right, once.rect.bottom, "idempotent");

  // Extreme coordinates: the midpoint must not overflow.
  ExpectRect(Normalised(INT32_MAX - 2, 0, INT32_MAX - 2, 10), INT32_MAX - 2, 0, INT32_MAX, 10, "huge");
}

TEST(RectFrame, MoveKeepsTheSize) {
  RectFrame f = Normalised(0, 0, 20, 40);
  f.Move(-5, 7);
  ExpectRect(f, -5, 7, 15, 47, "moved");
}

TEST(Layout, WorkedExample1024x768) {
  ComputeLayout(1024, 768);
  EXPECT_EQ(1024, screenWidth);
  EXPECT_EQ(768, screenHeight);
  EXPECT_EQ(682, clientWidth);
  EXPECT_EQ(512, clientHeight);
  ExpectRect(boardFrame[0], 28, 29, 255, 483, "well 0");
  ExpectRect(boardFrame[1], 426, 29, 653, 483, "well 1");
  ExpectRect(previewFrame[0], 281, 29, 326, 119, "preview 0");
  ExpectRect(previewFrame[1], 356, 29, 401, 119, "preview 1");
  ExpectRect(swapFrame, 296, 149, 386, 239, "swap box");
  ExpectPlace(startPlace, 276, 384, 60, 30, "Start");
  ExpectPlace(stopPlace, 346, 384, 60, 30, "Stop");
  ExpectPlace(configPlace[0], 276, 424, 60, 30, "Config 0");
  ExpectPlace(configPlace[1], 346, 424, 60, 30, "Config 1");
  ExpectPlace(shadowPlace[0], 266, 464, 70, 30, "Shadow 0");
  ExpectPlace(shadowPlace[1], 346, 464, 70, 30, "Shadow 1");
  ExpectPlace(scorePlace[0], 261, 320, 70, 20, "score 0");
  ExpectPlace(scorePlace[1], 351, 320, 70, 20, "score 1");
  ExpectPlace(levelPlace[0], 261, 350, 70, 20, "level 0");
  ExpectPlace(levelPlace[1], 351, 350, 70, 20, "level 1");
}

TEST(Layout, SmallerScreensUpTo3By2) {
  ComputeLayout(800, 600);
  EXPECT_EQ(533, clientWidth);
  EXPECT_EQ(400, clientHeight);
  ExpectRect(boardFrame[0], 22, 23, 22 + 177, 23 + 354, "800x600 well 0");
  ExpectRect(boardFrame[1], 333, 23, 333 + 177, 23 + 354, "800x600 well 1");
  ExpectRect(previewFrame[0], 220, 23, 220 + 35, 23 + 70, "800x600 preview 0");
  ExpectRect(previewFrame[1], 277, 23, 277 + 35, 23 + 70, "800x600 preview 1");
  ExpectRect(swapFrame, 231, 116, 231 + 70, 116 + 70, "800x600 swap box");

  ComputeLayout(640, 480);
  EXPECT_EQ(426, clientWidth);
  EXPECT_EQ(320, clientHeight);
  // The Shadow boxes start on the bottom edge of the client area.
  EXPECT_EQ(320, shadowPlace[0].top);
  EXPECT_EQ(320, shadowPlace[1].top);
}

TEST(Layout, WideScreensAreLaidOutAs3By2) {
  ComputeLayout(1920, 1080);
  EXPECT_EQ(1920, screenWidth) << "the real width is stored";
  EXPECT_EQ(1080, clientWidth);
  EXPECT_EQ(720, clientHeight);
  ExpectRect(boardFrame[0], 45, 0, 405, 720, "1920x1080 well 0");
  ExpectRect(boardFrame[1], 675, 0, 1035, 720, "1920x1080 well 1");
  ExpectRect(previewFrame[0], 444, 0, 516, 144, "1920x1080 preview 0");
  ExpectRect(previewFrame[1], 564, 0, 636, 144, "1920x1080 preview 1");
  ExpectRect(swapFrame, 468, 192, 612, 336, "1920x1080 swap box");
  ExpectPlace(startPlace, 475, 540, 60, 30, "1920x1080 Start");

  // Exactly 3:2 is not changed by the rule.
  EXPECT_EQ(1200, LayoutWidth(1200, 800));
  EXPECT_EQ(1152, LayoutWidth(1366, 768));
  EXPECT_EQ(1200, LayoutWidth(1280, 800));
}

TEST(Layout, EverySizeKeepsTheWellsInsideTheClientArea) {
  for (int32_t w = 320; w <= 4096; w += 37) {
    for (int32_t h = 200; h <= 2400; h += 29) {
      ComputeLayout(w, h);
      for (int p = 0; p < 2; ++p) {
        const RectFrame& f = boardFrame[p];
        ASSERT_LE(0, f.rect.left) << w << "x" << h << " well " << p;
        ASSERT_LE(0, f.rect.top) << w << "x" << h << " well " << p;
        ASSERT_GE(clientWidth, f.rect.right) << w << "x" << h << " well " << p;
        ASSERT_GE(clientHeight, f.rect.bottom) << w << "x" << h << " well " << p;
      }
      ASSERT_EQ(boardFrame[0].width, boardFrame[1].width) << w << "x" << h;
      ASSERT_EQ(boardFrame[0].height, boardFrame[1].height) << w << "x" << h;
      ASSERT_EQ(previewFrame[0].width, previewFrame[1].width) << w << "x" << h;
      ASSERT_LE(boardFrame[0].rect.right, previewFrame[0].rect.left) << w << "x" << h;
      ASSERT_LE(previewFrame[1].rect.right, boardFrame[1].rect.left) << w << "x" << h;
    }
  }
}

TEST(Layout, OddScreenSizesStaySafe) {
  const int32_t odd[][2] = {{0, 0}, {-1, -1}, {INT32_MIN, INT32_MIN}, {1, 1}, {5, 3},
                            {INT32_MAX, INT32_MAX}, {INT32_MAX, 768}, {1024, INT32_MAX}, {-800, 600}};
  for (const auto& s : odd) {
    ComputeLayout(s[0], s[1]);
    EXPECT_EQ(s[0], screenWidth);
    EXPECT_LE(0, clientWidth) << s[0] << "x" << s[1];
    EXPECT_LE(0, clientHeight) << s[0] << "x" << s[1];
    EXPECT_GE((2 * MAX_SCREEN_SIDE) / 3, clientWidth) << s[0] << "x" << s[1];
    EXPECT_GE((2 * MAX_SCREEN_SIDE) / 3, clientHeight) << s[0] << "x" << s[1];
    for (const RectFrame* f : {&boardFrame[0], &boardFrame[1], &previewFrame[0], &previewFrame[1], &swapFrame}) {
      EXPECT_LE(MIN_FRAME_SIDE, f->width) << s[0] << "x" << s[1];
      EXPECT_LE(MIN_FRAME_SIDE, f->height) << s[0] << "x" << s[1];
    }
  }
  // A screen with no size lays out nothing bigger than the minimum frames.
  ComputeLayout(0, 0);
  ExpectRect(boardFrame[0], 0, 0, 2, 2, "0x0 well 0");
}

// The DPI rule: at 96 the screen's layout is today's; at another DPI every
// rectangle is the 96 layout of the screen in 96-DPI units, scaled; the
// window's own client size gives the same layout back; a resized client
// keeps the wells whole and centred; the minimum keeps every control whole.
TEST(Layout, ScaledForTheDpiAndTheClientSize) {
  struct Snapshot {
    int32_t cw, ch;
    RectFrame frames[5];
    ControlPlace places[10];
  };
  auto take = [] {
    return Snapshot{clientWidth, clientHeight,
                    {boardFrame[0], boardFrame[1], previewFrame[0], previewFrame[1], swapFrame},
                    {startPlace, stopPlace, configPlace[0], configPlace[1], shadowPlace[0], shadowPlace[1],
                     scorePlace[0], scorePlace[1], levelPlace[0], levelPlace[1]}};
  };
  auto same = [](const Snapshot& a, const Snapshot& b, const char* what) {
    EXPECT_EQ(a.cw, b.cw) << what;
    EXPECT_EQ(a.ch, b.ch) << what;
    for (int i = 0; i < 5; ++i) {
      ExpectRect(b.frames[i], a.frames[i].rect.left, a.frames[i].rect.top, a.frames[i].rect.right,
                 a.frames[i].rect.bottom, what);
    }
    for (int i = 0; i < 10; ++i) {
      ExpectPlace(b.places[i], a.places[i].left, a.places[i].top, a.places[i].width, a.places[i].height, what);
    }
  };

  ComputeLayout(1024, 768);
  const Snapshot today = take();
  ComputeScaledLayout(1024, 768, 96);
  same(today, take(), "96 DPI is today's layout");
  EXPECT_EQ(48, titleFontHeight);
  ComputeScaledLayout(1024, 768, 0);
  same(today, take(), "a DPI of 0 is taken as 96");
  ComputeClientLayout(682, 512, 96);
  same(today, take(), "the window's own client at 96");
  EXPECT_EQ(1024, screenWidth) << "the start-up screen stays";

  for (int32_t dpi : {120, 144, 192}) {
    ComputeScaledLayout(1024 * dpi / 96, 768 * dpi / 96, dpi);
    const Snapshot scaled = take();
    EXPECT_EQ(48 * dpi / 96, titleFontHeight) << dpi;
    EXPECT_EQ(16 * dpi / 96, controlFontHeight) << dpi;
    EXPECT_NEAR(682 * dpi / 96.0, clientWidth, 1) << dpi;
    for (int i = 0; i < 5; ++i) {
      EXPECT_NEAR(today.frames[i].rect.left * dpi / 96.0, scaled.frames[i].rect.left, 1) << dpi << " frame " << i;
      EXPECT_NEAR(today.frames[i].rect.bottom * dpi / 96.0, scaled.frames[i].rect.bottom, 1) << dpi << " frame " << i;
    }
    for (int i = 0; i < 10; ++i) {
      EXPECT_NEAR(today.places[i].top * dpi / 96.0, scaled.places[i].top, 1) << dpi << " place " << i;
      EXPECT_NEAR(today.places[i].width * dpi / 96.0, scaled.places[i].width, 1) << dpi << " place " << i;
    }
    EXPECT_EQ(boardFrame[0].width, boardFrame[1].width) << dpi;
    EXPECT_EQ(previewFrame[0].height, previewFrame[1].height) << dpi;
    ComputeClientLayout(clientWidth, clientHeight, dpi);
    same(scaled, take(), "the window's own client, scaled");
  }
  ComputeScaledLayout(1366, 768, 144);
  EXPECT_EQ(1366, screenWidth) << "the physical size is stored";

  // Resized clients, odd and extreme sizes among them: the wells inside
  // and of one size, a wide client's layout centred.
  const int32_t clients[][2] = {{682, 512}, {683, 511}, {1501, 440}, {640, 1999}, {3000, 600}, {1, 1}, {0, 0},
                                {-5, 9}, {INT32_MAX, INT32_MAX}};
  for (int32_t dpi : {96, 144}) {
    for (const auto& c : clients) {
      ComputeClientLayout(c[0], c[1], dpi);
      EXPECT_EQ(std::max(0, std::min(c[0], MAX_SCREEN_SIDE)), clientWidth) << c[0] << "x" << c[1];
      if (c[0] < 100 || c[1] < 100) continue;
      for (int p = 0; p < 2; ++p) {
        EXPECT_LE(0, boardFrame[p].rect.top) << c[0] << "x" << c[1] << " at " << dpi;
        EXPECT_GE(clientHeight, boardFrame[p].rect.bottom) << c[0] << "x" << c[1] << " at " << dpi;
      }
      EXPECT_EQ(boardFrame[0].width, boardFrame[1].width);
      EXPECT_NEAR(clientWidth - boardFrame[1].rect.right, boardFrame[0].rect.left, 4) << c[0] << "x" << c[1];
    }
  }

  // At the minimum client every control lies inside the client area and
  // clear of both wells.
  for (int32_t dpi : {96, 120, 192}) {
    ComputeClientLayout(ScaleToDpi(MIN_CLIENT_WIDTH, dpi), ScaleToDpi(MIN_CLIENT_HEIGHT, dpi), dpi);
    for (const ControlPlace* c : {&startPlace, &stopPlace, &configPlace[0], &configPlace[1], &shadowPlace[0],
                                  &shadowPlace[1], &scorePlace[0], &scorePlace[1], &levelPlace[0], &levelPlace[1]}) {
      EXPECT_LE(boardFrame[0].rect.right, c->left) << dpi;
      EXPECT_GE(boardFrame[1].rect.left, c->left + c->width) << dpi;
      EXPECT_GE(clientHeight, c->top + c->height) << dpi;
    }
  }
}
