// Frame rendering read back from the off-screen images: cell tiling, the
// colour of every value, ghost, preview turn and blanking, outlines, title.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "engine/engine.h"
#include "ui/frame_rendering.h"
#include "ui/layout.h"

namespace {

constexpr COLORREF WHITE = 0xFFFFFF;
constexpr COLORREF BLACK = 0x000000;
constexpr COLORREF SENTINEL = 0xdeadbe;

COLORREF ColourOf(int32_t value) {
  if (value == GHOST) return BLACK;
  if (value >= 1 && value <= 7) return ColourTable[value - 1];
  return WHITE;
}

int Edge(int i, int length, int n) { return i * length / n; }

// The middle pixel of cell (c, r) of an image tiled cols x rows.
COLORREF CellPixel(HDC dc, const RectFrame& f, int cols, int rows, int c, int r) {
  const int x = (Edge(c, f.width, cols) + Edge(c + 1, f.width, cols)) / 2;
  const int y = (Edge(r, f.height, rows) + Edge(r + 1, f.height, rows)) / 2;
  return GetPixel(dc, x, y);
}

// An image's pixels, copied through a 32-bit top-down DIB section.
std::vector<uint32_t> Pixels(HDC image, const RectFrame& f) {
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = f.width;
  bi.bmiHeader.biHeight = -f.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, dib);
  BitBlt(dc, 0, 0, f.width, f.height, image, 0, 0, SRCCOPY);
  GdiFlush();
  const uint32_t* p = static_cast<const uint32_t*>(bits);
  std::vector<uint32_t> out(p, p + f.width * f.height);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(dib);
  return out;
}

int Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  int n = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i];
  return n + static_cast<int>(a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

class Rendering : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "rendering_test";
    RegisterClassA(&wc);
    CreateDrawingObjects();
  }
  static void TearDownTestSuite() { DestroyDrawingObjects(); }

  void SetUp() override {
    gameState = {};
    // 1024 x 768: wells 227 x 454, previews 45 x 90, swap box 90 x 90.
    ComputeLayout(1024, 768);
    window = CreateWindowA("rendering_test", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    CreateImages(window);
    ASSERT_NE(nullptr, swapDC) << "images were not created";
  }
  void TearDown() override {
    DestroyImages();
    DestroyWindow(window);
  }

  HWND window = nullptr;
};

TEST_F(Rendering, CellsTileByTheIntegerFormulas) {
  ASSERT_EQ(227, boardFrame[0].width);
  // Neighbouring cells differ, so each cell edge shows as a colour change.
  for (int c = 0; c < 10; ++c)
    for (int r = 0; r < 20; ++r) gameState.board[0][c * 20 + r] = (c + r) % 7 + 1;
  DrawPlayer(0);

  HDC dc = boardDC[0];
  const int w = boardFrame[0].width, h = boardFrame[0].height;
  int narrow = 0, wide = 0;
  for (int c = 0; c < 10; ++c) {
    const int left = Edge(c, w, 10), right = Edge(c + 1, w, 10) - 1;
    (right - left + 1 == 22 ? narrow : wide) += 1;
    const int y = (Edge(5, h, 20) + Edge(6, h, 20)) / 2;
    const COLORREF want = ColourOf((c + 5) % 7 + 1);
    if (c > 0) {
      EXPECT_EQ(want, GetPixel(dc, left, y)) << "left edge of column " << c;
    }
    if (c < 9) {
      EXPECT_EQ(want, GetPixel(dc, right, y)) << "right edge of column " << c;
    }
  }
  EXPECT_EQ(3, narrow) << "columns of 22 pixels";
  EXPECT_EQ(7, wide) << "columns of 23 pixels";
  for (int r = 1; r < 19; ++r) {
    const int x = (Edge(4, w, 10) + Edge(5, w, 10)) / 2;
    const COLORREF want = ColourOf((4 + r) % 7 + 1);
    EXPECT_EQ(want, GetPixel(dc, x, Edge(r, h, 20))) << "top edge of row " << r;
    EXPECT_EQ(want, GetPixel(dc, x, Edge(r + 1, h, 20) - 1)) << "bottom edge of row " << r;
  }
}

TEST_F(Rendering, EveryValueHasItsColour) {
  // Column c holds value c; the last column holds values no well can hold,
  // which are drawn as empty cells.
  for (int c = 0; c < 9; ++c)
    for (int r = 0; r < 20; ++r) gameState.board[1][c * 20 + r] = c;
  for (int r = 0; r < 20; ++r) gameState.board[1][9 * 20 + r] = (r % 2) ? -1 : 1000;
  DrawPlayer(1);
  for (int c = 0; c < 9; ++c) EXPECT_EQ(ColourOf(c), CellPixel(boardDC[1], boardFrame[1], 10, 20, c, 7)) << c;
  EXPECT_EQ(WHITE, CellPixel(boardDC[1], boardFrame[1], 10, 20, 9, 4)) << "value 1000";
  EXPECT_EQ(WHITE, CellPixel(boardDC[1], boardFrame[1], 10, 20, 9, 5)) << "value -1";
  EXPECT_EQ(0x7FFFu, ColourOf(7)) << "value 7 is orange";
}

TEST_F(Rendering, GhostIsBlackUnderThePiece) {
  LoadTemplate(gameState.curPiece[0], PieceTable[3]);  // bar in matrix row 0
  gameState.pieceX[0] = 3;
  gameState.pieceY[0] = 0;
  gameState.shadowOn[0] = 1;
  DrawPlayer(0);
  for (int c = 3; c < 7; ++c) {
    EXPECT_EQ(ColourOf(4), CellPixel(boardDC[0], boardFrame[0], 10, 20, c, 0)) << "piece, column " << c;
    EXPECT_EQ(BLACK, CellPixel(boardDC[0], boardFrame[0], 10, 20, c, 19)) << "ghost, column " << c;
  }
  EXPECT_EQ(WHITE, CellPixel(boardDC[0], boardFrame[0], 10, 20, 2, 19));
  EXPECT_EQ(WHITE, CellPixel(boardDC[0], boardFrame[0], 10, 20, 7, 19));

  // Switched off: the floor stays white.
  gameState.shadowOn[0] = 0;
  DrawPlayer(0);
  EXPECT_EQ(WHITE, CellPixel(boardDC[0], boardFrame[0], 10, 20, 4, 19));

  // Resting on the floor: piece and ghost coincide, only the piece shows.
  gameState.shadowOn[0] = 0x80;  // any nonzero byte switches it on
  gameState.pieceY[0] = 19;
  DrawPlayer(0);
  EXPECT_EQ(ColourOf(4), CellPixel(boardDC[0], boardFrame[0], 10, 20, 5, 19));

  // Partly above the well: only rows 0 to 19 are drawn.
  LoadTemplate(gameState.curPiece[0], PieceTable[4]);  // 2 x 2 square in columns 0-1
  gameState.pieceX[0] = 0;
  gameState.pieceY[0] = -1;
  gameState.shadowOn[0] = 0;
  DrawPlayer(0);
  EXPECT_EQ(ColourOf(5), CellPixel(boardDC[0], boardFrame[0], 10, 20, 0, 0));
  EXPECT_EQ(ColourOf(5), CellPixel(boardDC[0], boardFrame[0], 10, 20, 1, 0));
  EXPECT_EQ(WHITE, CellPixel(boardDC[0], boardFrame[0], 10, 20, 0, 1));
}

TEST_F(Rendering, PreviewShowsTheNextPieceAQuarterTurnClockwise) {
  // Template 3, the bar in row 0: the right-hand column in all four rows.
  memcpy(gameState.nextPiece[0], PieceTable[3], sizeof(PieceTemplate));
  DrawPlayer(0);
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(ColourOf(4), CellPixel(previewDC[0], previewFrame[0], 2, 4, 1, r)) << "right, row " << r;
    EXPECT_EQ(WHITE, CellPixel(previewDC[0], previewFrame[0], 2, 4, 0, r)) << "left, row " << r;
  }

  // Template 2: right-hand column in rows 0 to 2, left-hand in row 1 only.
  memcpy(gameState.nextPiece[1], PieceTable[2], sizeof(PieceTemplate));
  DrawPlayer(1);
  const COLORREF three = ColourOf(3);
  const COLORREF right[4] = {three, three, three, WHITE};
  const COLORREF left[4] = {WHITE, three, WHITE, WHITE};
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(right[r], CellPixel(previewDC[1], previewFrame[1], 2, 4, 1, r)) << "right, row " << r;
    EXPECT_EQ(left[r], CellPixel(previewDC[1], previewFrame[1], 2, 4, 0, r)) << "left, row " << r;
  }
}

TEST_F(Rendering, BlindPreviewStaysWhiteWhileItCountsDown) {
  memcpy(gameState.nextPiece[0], PieceTable[3], sizeof(PieceTemplate));
  gameState.previewBlind[0] = 2;
  for (int frame = 0; frame < 2; ++frame) {
    DrawPlayer(0);
    EXPECT_EQ(1 - frame, gameState.previewBlind[0]) << "frame " << frame;
    for (int r = 0; r < 4; ++r)
      EXPECT_EQ(WHITE, CellPixel(previewDC[0], previewFrame[0], 2, 4, 1, r)) << "frame " << frame << " row " << r;
  }
  DrawPlayer(0);
  EXPECT_EQ(0, gameState.previewBlind[0]);
  EXPECT_EQ(ColourOf(4), CellPixel(previewDC[0], previewFrame[0], 2, 4, 1, 2)) << "third frame shows the piece";
  EXPECT_EQ(0, gameState.previewBlind[1]) << "the other player's counter is untouched";
}

TEST_F(Rendering, OutlinesAreOnePixelBlack) {
  for (int j = 0; j < 200; ++j) gameState.board[0][j] = 1;
  memcpy(gameState.nextPiece[0], PieceTable[4], sizeof(PieceTemplate));  // fills the 2 x 4 preview's top half
  for (int j = 0; j < 16; ++j) gameState.swapPiece[j] = 2;
  DrawPlayer(0);
  DrawSwapBox();

  struct Image {
    HDC dc;
    const RectFrame* frame;
    COLORREF inside;
    const char* name;
  } images[] = {{boardDC[0], &boardFrame[0], ColourOf(1), "well"},
                {previewDC[0], &previewFrame[0], ColourOf(5), "preview"},
                {swapDC, &swapFrame, ColourOf(2), "swap box"}};
  for (const Image& im : images) {
    const int w = im.frame->width, h = im.frame->height;
    const int y = 2;  // the top row of cells is filled in all three
    EXPECT_EQ(BLACK, GetPixel(im.dc, 0, y)) << im.name;
    EXPECT_EQ(im.inside, GetPixel(im.dc, 1, y)) << im.name;
    EXPECT_EQ(BLACK, GetPixel(im.dc, w - 1, y)) << im.name;
    EXPECT_EQ(im.inside, GetPixel(im.dc, w - 2, y)) << im.name;
    EXPECT_EQ(BLACK, GetPixel(im.dc, w / 4, 0)) << im.name;
    EXPECT_EQ(im.inside, GetPixel(im.dc, w / 4, 1)) << im.name;
    EXPECT_EQ(BLACK, GetPixel(im.dc, w / 4, h - 1)) << im.name;
    EXPECT_EQ(CLR_INVALID, GetPixel(im.dc, w, y)) << im.name << ": the image is exactly the frame's size";
  }
}

TEST_F(Rendering, SwapBoxShowsThePieceAsStored) {
  LoadTemplate(gameState.swapPiece, PieceTable[2]);
  DrawSwapBox();
  ASSERT_EQ(90, swapFrame.width);
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r)
      EXPECT_EQ(ColourOf(gameState.swapPiece[c * 4 + r]), CellPixel(swapDC, swapFrame, 4, 4, c, r)) << c << "," << r;
  // 90 / 4: edges at 0, 22, 45, 67, 90.
  EXPECT_EQ(ColourOf(3), GetPixel(swapDC, 44, 10));
  EXPECT_EQ(ColourOf(3), GetPixel(swapDC, 66, 10));
  EXPECT_EQ(WHITE, GetPixel(swapDC, 67, 10));
}

TEST_F(Rendering, ClearedWellWithTitleIsRedOnWhite) {
  for (int j = 0; j < 200; ++j) gameState.board[0][j] = 6;
  DrawPlayer(0);
  ClearWellImage(0);
  const int w = boardFrame[0].width, h = boardFrame[0].height;
  EXPECT_EQ(BLACK, GetPixel(boardDC[0], 0, h / 2));
  EXPECT_EQ(WHITE, GetPixel(boardDC[0], 1, 1));
  EXPECT_EQ(WHITE, GetPixel(boardDC[0], w / 2, h / 2)) << "cleared";

  // Preset the preview with a sentinel: the title leaves it alone.
  SetPixel(previewDC[0], 5, 5, SENTINEL);
  DrawTitle(0);
  // Count only: glyph shapes differ between font engines.
  int red = 0;
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) red += GetPixel(boardDC[0], x, y) == TITLE_COLOUR;
  EXPECT_LT(100, red) << "red title pixels inside the well";
  EXPECT_EQ(WHITE, GetPixel(boardDC[0], w / 2, 5)) << "the title is centred, the top stays white";
  EXPECT_EQ(BLACK, GetPixel(boardDC[0], w - 1, h / 2)) << "outline";
  EXPECT_EQ(SENTINEL, GetPixel(previewDC[0], 5, 5)) << "the preview keeps what it showed";
}

TEST_F(Rendering, MissingImagesDrawNothingAndDoNotCrash) {
  DestroyImages();
  EXPECT_EQ(nullptr, boardDC[0]);
  EXPECT_EQ(nullptr, swapBitmap);
  ClearWellImage(0);
  DrawPlayer(1);
  DrawTitle(0);
  DrawSwapBox();
  CreateImages(window);
  EXPECT_NE(nullptr, boardDC[1]);
}

// Within a frame tick only changed cells are painted: the result must be
// the full redraw's, outlines included, and an unchanged frame paints nothing.
TEST_F(Rendering, FrameDrawingPaintsWhatAFullRedrawPaints) {
  for (int j = 0; j < 200; ++j) gameState.board[0][j] = j % 3 == 0 ? j % 7 + 1 : 0;
  memcpy(gameState.nextPiece[0], PieceTable[1], sizeof(PieceTemplate));
  LoadTemplate(gameState.swapPiece, PieceTable[5]);
  LoadTemplate(gameState.curPiece[0], PieceTable[3]);
  gameState.pieceX[0] = 3;
  auto frame = [] {
    imageRecord.inFrame = true;
    ClearWellImage(0);
    DrawPlayer(0);
    DrawSwapBox();
    imageRecord.inFrame = false;
  };
  frame();
  // Corner and edge cells (under the outline), the ghost, a new preview
  // and swap piece.
  gameState.board[0][0] = 2;
  gameState.board[0][9 * 20 + 19] = 6;
  gameState.board[0][4 * 20 + 19] = 0;
  gameState.board[0][0 * 20 + 10] = 0;
  gameState.shadowOn[0] = 1;
  memcpy(gameState.nextPiece[0], PieceTable[6], sizeof(PieceTemplate));
  LoadTemplate(gameState.swapPiece, PieceTable[0]);
  imageRecord.changed = 0;
  frame();
  EXPECT_EQ(WELL_IMAGE | PREVIEW_IMAGE | SWAP_IMAGE, imageRecord.changed);
  const std::vector<uint32_t> well = Pixels(boardDC[0], boardFrame[0]);
  const std::vector<uint32_t> preview = Pixels(previewDC[0], previewFrame[0]);
  const std::vector<uint32_t> swap = Pixels(swapDC, swapFrame);

  // Unchanged: nothing painted over a sentinel in an unchanged cell.
  SetPixel(boardDC[0], 30, 30, SENTINEL);
  imageRecord.changed = 0;
  frame();
  EXPECT_EQ(0u, imageRecord.changed);
  EXPECT_EQ(SENTINEL, GetPixel(boardDC[0], 30, 30));

  imageRecord.well[0] = WellPicture::Unknown;
  imageRecord.previewKnown[0] = false;
  imageRecord.swapKnown = false;
  ClearWellImage(0);
  DrawPlayer(0);
  DrawSwapBox();
  EXPECT_EQ(0, Differing(well, Pixels(boardDC[0], boardFrame[0]))) << "well pixels unlike the full redraw";
  EXPECT_EQ(0, Differing(preview, Pixels(previewDC[0], previewFrame[0]))) << "preview pixels";
  EXPECT_EQ(0, Differing(swap, Pixels(swapDC, swapFrame))) << "swap box pixels";
}

}  // namespace
