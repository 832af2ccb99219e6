// The main window under Wine: class, window and child controls, the score
// label colours, the commands (with the focus handed back) and the timers.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "controls/action_sampling.h"
#include "controls/control_set.h"
#include "engine/engine.h"
#include "joystick/di_joystick.h"
#include "sound/sound_mixer.h"
#include "ui/frame_clock.h"
#include "ui/frame_pacing.h"
#include "tests/fakes/fake_dinput.h"
#include "ui/frame_rendering.h"
#include "ui/kept_match.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "ui/match_menu.h"
#include "ui/match_recording.h"
#include "ui/network_match.h"
#include "ui/sound_switch.h"
#include "resources/resource.h"

namespace {

constexpr COLORREF SENTINEL = 0xdeadbe;
const char KEY[] = "Software\\QuillbeamSoft\\BlockTide";

void DeleteSettings() {
  RegDeleteKeyA(HKEY_CURRENT_USER, KEY);
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\QuillbeamSoft");
}

// Delivers the thread's messages (timers, paints) for about `ms`.
void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (static_cast<int32_t>(end - GetTickCount()) > 0) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

std::string Text(HWND w) {
  char buf[64] = "\xbd\xbd";
  GetWindowTextA(w, buf, sizeof(buf));
  return buf;
}

void Command(int id, WORD code = BN_CLICKED) {
  SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(mainWindow, id)));
}

class MainWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DeleteSettings();
    gameState = {};
    gameState.gameOver[0] = gameState.gameOver[1] = true;
    CreateDrawingObjects();
    ComputeLayout(1024, 768);
    RegisterMainClass(GetModuleHandleA(nullptr));
    ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOW));
    Pump(50);
  }
  static void TearDownTestSuite() {
    DestroyWindow(mainWindow);
    Pump(20);
    DestroyDrawingObjects();
    DeleteSettings();
  }
};

TEST_F(MainWindow, ClassWindowAndChildControls) {
  char name[64] = "";
  GetClassNameA(mainWindow, name, sizeof(name));
  EXPECT_STREQ("BLOCKTIDE", name);
  EXPECT_EQ("BlockTide", Text(mainWindow));
  const LONG style = GetWindowLongA(mainWindow, GWL_STYLE);
  EXPECT_EQ(0x00CF0000, style & 0x00CF0000) << std::hex << style << ": resizable and maximisable";
  EXPECT_EQ(nullptr, GetMenu(mainWindow));
  RECT client;
  GetClientRect(mainWindow, &client);
  EXPECT_EQ(682, client.right);
  EXPECT_EQ(512, client.bottom);
  POINT corner = {0, 0};
  ClientToScreen(mainWindow, &corner);
  EXPECT_EQ(50, corner.x);
  EXPECT_EQ(50, corner.y);

  struct Child {
    int id;
    const char* cls;
    const char* text;
    LONG style;
    int left, top, width, height;
  } children[] = {
      {410, "Button", "Shadow", 0x50000003, 266, 464, 70, 30}, {411, "Button", "Shadow", 0x50000003, 346, 464, 70, 30},
      {401, "Button", "Start", 0x50000000, 276, 384, 60, 30},  {402, "Button", "Stop", 0x50000000, 346, 384, 60, 30},
      {420, "Button", "Config", 0x50000000, 276, 424, 60, 30}, {421, "Button", "Config", 0x50000000, 346, 424, 60, 30},
      {200, "Static", "0", 0x50800801, 261, 320, 70, 20},      {201, "Static", "0", 0x50800801, 351, 320, 70, 20},
      {300, "Static", "1", 0x50800801, 261, 350, 70, 20},      {301, "Static", "1", 0x50800801, 351, 350, 70, 20},
  };
  for (const Child& c : children) {
    HWND w = GetDlgItem(mainWindow, c.id);
    ASSERT_NE(nullptr, w) << c.id;
    GetClassNameA(w, name, sizeof(name));
    EXPECT_EQ(0, lstrcmpiA(c.cls, name)) << c.id << " is a " << name;
    EXPECT_EQ(c.text, Text(w)) << c.id;
    EXPECT_EQ(c.style, GetWindowLongA(w, GWL_STYLE)) << c.id;
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, mainWindow, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(c.left, r.left) << c.id;
    EXPECT_EQ(c.top, r.top) << c.id;
    EXPECT_EQ(c.width, r.right - r.left) << c.id;
    EXPECT_EQ(c.height, r.bottom - r.top) << c.id;
  }
  EXPECT_EQ(GetDlgItem(mainWindow, 410), shadowCheck[0]);
  EXPECT_EQ(GetDlgItem(mainWindow, 411), shadowCheck[1]);
  EXPECT_EQ(GetDlgItem(mainWindow, 200), scoreLabel[0]);
  EXPECT_EQ(GetDlgItem(mainWindow, 301), levelLabel[1]);
  EXPECT_EQ(BST_UNCHECKED, SendMessageA(shadowCheck[0], BM_GETCHECK, 0, 0)) << "nothing stored: off";
  EXPECT_EQ(mainWindow, g_Joystick[0].m_hWnd);
  EXPECT_EQ(mainWindow, g_Joystick[1].m_hWnd);
}

TEST_F(MainWindow, ScoreLabelsAreColouredByTheLead) {
  HDC dc = CreateCompatibleDC(nullptr);
  struct Case {
    int32_t score0, score1;
    int brush0, brush1;  // brushes[] index of each label
  } cases[] = {{10, 10, 7, 7}, {15, 10, 2, 1}, {-5, 0, 1, 2}, {INT32_MIN, INT32_MAX, 1, 2}, {0, -1, 2, 1}};
  for (const Case& c : cases) {
    gameState.score[0] = c.score0;
    gameState.score[1] = c.score1;
    for (int p = 0; p < 2; ++p) {
      SetBkColor(dc, SENTINEL);
      const LRESULT brush = SendMessageA(mainWindow, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                         reinterpret_cast<LPARAM>(scoreLabel[p]));
      const int want = p == 0 ? c.brush0 : c.brush1;
      EXPECT_EQ(reinterpret_cast<LRESULT>(brushes[want]), brush) << c.score0 << ":" << c.score1 << " label " << p;
      EXPECT_EQ(ColourTable[want - 1], GetBkColor(dc)) << c.score0 << ":" << c.score1 << " label " << p;
    }
  }
  EXPECT_EQ(0xFF00u, ColourTable[1]) << "the leader's green";

  // The level labels keep the default colours.
  SetBkColor(dc, SENTINEL);
  const LRESULT brush = SendMessageA(mainWindow, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                     reinterpret_cast<LPARAM>(levelLabel[0]));
  for (int i = 1; i <= 7; ++i) EXPECT_NE(reinterpret_cast<LRESULT>(brushes[i]), brush) << i;
  for (int i = 0; i < 7; ++i) EXPECT_NE(ColourTable[i], GetBkColor(dc)) << i;
  DeleteDC(dc);
  gameState.score[0] = gameState.score[1] = 0;
}

TEST_F(MainWindow, ShadowBoxesStoreTheSwitchAndHandBackTheFocus) {
  for (int p = 0; p < 2; ++p) {
    SendMessageA(shadowCheck[p], BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageA(shadowCheck[p], BM_GETCHECK, 0, 0)) << p;
    EXPECT_EQ(1, gameState.shadowOn[p]) << p;
    EXPECT_EQ(p == 1 ? 1 : 0, gameState.shadowOn[1 - p]) << "the other player's switch is its own";
    EXPECT_EQ(mainWindow, GetFocus()) << "after Shadow " << p;

    BYTE stored[4] = {0xbd, 0xbd, 0xbd, 0xbd};
    DWORD size = sizeof(stored);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, KEY, "Shadows", RRF_RT_ANY, nullptr, stored, &size));
    EXPECT_EQ(2u, size);
    EXPECT_EQ(1, stored[p]) << "stored at once";
  }
  for (int p = 0; p < 2; ++p) {
    SendMessageA(shadowCheck[p], BM_CLICK, 0, 0);
    EXPECT_EQ(0, gameState.shadowOn[p]) << p;
    EXPECT_EQ(mainWindow, GetFocus());
  }
}

// The "Sound" item of the system menu: on and checked at first, turned
// over by its command, which is stored at once and silences the mixer.
TEST_F(MainWindow, SoundItemOfTheSystemMenu) {
  HMENU menu = GetSystemMenu(mainWindow, FALSE);
  char text[16] = "\xbd";
  ASSERT_LT(0, GetMenuStringA(menu, IDM_SOUND, text, sizeof text, MF_BYCOMMAND));
  EXPECT_STREQ("Sound", text);
  EXPECT_TRUE(soundOn);
  EXPECT_EQ(static_cast<UINT>(MF_CHECKED), GetMenuState(menu, IDM_SOUND, MF_BYCOMMAND) & MF_CHECKED);

  const uint32_t posted = soundMixer.posted.load();
  SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_SOUND, 0);
  EXPECT_FALSE(soundOn);
  EXPECT_EQ(0u, GetMenuState(menu, IDM_SOUND, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_EQ(posted + 1, soundMixer.posted.load()) << "the silence request";
  PlaySoundEvent(0, SoundEvent::FourRows);
  EXPECT_EQ(posted + 1, soundMixer.posted.load()) << "nothing asked for while off";
  BYTE stored[4] = {0xbd, 0xbd, 0xbd, 0xbd};
  DWORD size = sizeof(stored);
  EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, KEY, "Sound", RRF_RT_ANY, nullptr, stored, &size));
  EXPECT_EQ(1u, size);
  EXPECT_EQ(0, stored[0]);

  // The low four bits of the command are the system's own.
  SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_SOUND | 0x3, 0);
  EXPECT_TRUE(soundOn);
  EXPECT_EQ(static_cast<UINT>(MF_CHECKED), GetMenuState(menu, IDM_SOUND, MF_BYCOMMAND) & MF_CHECKED);
  PlaySoundEvent(MATCH_WIDE, SoundEvent::MatchStarted);
  EXPECT_EQ(posted + 2, soundMixer.posted.load());
  size = sizeof(stored);
  EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, KEY, "Sound", RRF_RT_ANY, nullptr, stored, &size));
  EXPECT_EQ(1, stored[0]);
}

TEST_F(MainWindow, StartAndStopCommands) {
  gameState.score[0] = 9;
  SetFocus(GetDlgItem(mainWindow, ID_START));
  Command(ID_START);
  EXPECT_EQ(mainWindow, GetFocus());
  for (int p = 0; p < 2; ++p) {
    EXPECT_FALSE(gameState.gameOver[p]) << p;
    EXPECT_EQ(0, gameState.score[p]) << p;
    EXPECT_EQ(SPAWN_COLUMN, gameState.pieceX[p]) << p;
    EXPECT_EQ(0, gameState.pieceY[p]) << p;
    EXPECT_EQ(1, controls[p].keyboardMode) << "nothing stored: the default keys";
    EXPECT_EQ(0x20, controls[p].bindings[7].arg2) << "Fall on Space";
  }
  EXPECT_EQ(0, memcmp(gameState.curPiece[0], gameState.curPiece[1], sizeof(PieceMatrix))) << "same first piece";

  // One frame: the labels show score and level + 1, and the falling piece
  // is in the well image at its spawn place.
  SetWindowTextA(scoreLabel[1], "x");
  SendMessageA(mainWindow, WM_TIMER, FRAME_TIMER, 0);
  EXPECT_EQ("0", Text(scoreLabel[0]));
  EXPECT_EQ("0", Text(scoreLabel[1]));
  EXPECT_EQ("1", Text(levelLabel[0]));
  EXPECT_EQ("1", Text(levelLabel[1]));
  int drawn = 0;
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 4; ++k) {
      const int32_t v = gameState.curPiece[0][i * 4 + k];
      if (v == 0) continue;
      const int c = SPAWN_COLUMN + i, w = boardFrame[0].width, h = boardFrame[0].height;
      const int x = (c * w / 10 + (c + 1) * w / 10) / 2, y = (k * h / 20 + (k + 1) * h / 20) / 2;
      EXPECT_EQ(ColourTable[v - 1], GetPixel(boardDC[0], x, y)) << "cell " << c << "," << k;
      ++drawn;
    }
  }
  EXPECT_EQ(4, drawn);

  // Stop, clicked while it holds the focus, whatever the notification code.
  gameState.score[0] = 7;
  SetFocus(GetDlgItem(mainWindow, ID_STOP));
  Command(ID_STOP, 0x1234);
  EXPECT_TRUE(gameState.gameOver[0]);
  EXPECT_TRUE(gameState.gameOver[1]);
  EXPECT_EQ(7, gameState.score[0]) << "Stop changes nothing else";
  EXPECT_EQ(mainWindow, GetFocus());
  gameState.score[0] = 0;
}

TEST_F(MainWindow, TimersDriveTheMatchAndPaintTheWindow) {
  Command(ID_START);
  Pump(300);
  EXPECT_FALSE(gameState.gameOver[0]);
  // Painting copies the images to the window: the outline of well 0.
  HDC dc = GetDC(mainWindow);
  EXPECT_EQ(0u, GetPixel(dc, boardFrame[0].rect.left, boardFrame[0].rect.top + 100));
  EXPECT_EQ(0xFFFFFFu, GetPixel(dc, boardFrame[0].rect.left + 2, boardFrame[0].rect.bottom - 3)) << "empty floor";
  ReleaseDC(mainWindow, dc);

  // A gravity tick moves player 1's piece one row, and only player 1's.
  const int32_t y0 = gameState.pieceY[0], y1 = gameState.pieceY[1];
  SendMessageA(mainWindow, WM_TIMER, 2, 0);
  EXPECT_EQ(y0, gameState.pieceY[0]);
  EXPECT_EQ(y1 + 1, gameState.pieceY[1]);
  SendMessageA(mainWindow, WM_TIMER, 7, 0);  // not ours: ignored
  EXPECT_EQ(y1 + 1, gameState.pieceY[1]);
  Command(ID_STOP);
}

// Rectangles as text, so that a failure shows them.
std::string Str(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}
std::string Rect(const RectFrame& f) { return Str({f.rect.left, f.rect.top, f.rect.right, f.rect.bottom}); }
std::string Union(const RectFrame& a, const RectFrame& b) {
  RECT ra = {a.rect.left, a.rect.top, a.rect.right, a.rect.bottom};
  RECT rb = {b.rect.left, b.rect.top, b.rect.right, b.rect.bottom}, u;
  UnionRect(&u, &ra, &rb);
  return Str(u);
}
// Red pixels in the band across the middle of a well, where the title sits
// and no cell of these tests is (a falling piece may be red too).
int RedPixels(HDC dc, const RectFrame& f) {
  int red = 0;
  for (int y = f.height / 2 - 24; y < f.height / 2 + 24; y += 2)
    for (int x = 1; x < f.width - 1; ++x) red += GetPixel(dc, x, y) == TITLE_COLOUR;
  return red;
}
// Gives the window a client area of w x h as a drag of its border would.
void SizeClient(int w, int h) {
  RECT outer, client;
  GetWindowRect(mainWindow, &outer);
  GetClientRect(mainWindow, &client);
  SetWindowPos(mainWindow, nullptr, 0, 0, w + (outer.right - outer.left) - client.right,
               h + (outer.bottom - outer.top) - client.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A new client size: the controls move to the new layout, the images are
// made at the new sizes holding what they held (cells in a match, the
// title after it), the minimum holds, and the old size gives today's
// layout back.
TEST_F(MainWindow, ANewClientSizeLaysTheWindowOutAfresh) {
  Command(ID_START);
  Pump(100);
  ASSERT_EQ(WellPicture::Cells, imageRecord.well[0]);
  int8_t cells[WELL_COLUMNS * WELL_ROWS];
  std::memcpy(cells, imageRecord.wellCells[0], sizeof cells);
  const int32_t yBefore = gameState.pieceY[0];
  SizeClient(900, 640);
  EXPECT_EQ(900, clientWidth);
  EXPECT_EQ(640, clientHeight);
  EXPECT_EQ(yBefore, gameState.pieceY[0]) << "the match is not touched";
  RECT r;
  GetWindowRect(GetDlgItem(mainWindow, ID_START), &r);
  MapWindowPoints(nullptr, mainWindow, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(startPlace.left, r.left);
  EXPECT_EQ(startPlace.top, r.top);
  EXPECT_NE(276, r.left);
  BITMAP bitmap = {};
  GetObjectA(boardBitmap[1], sizeof bitmap, &bitmap);
  EXPECT_EQ(boardFrame[1].width, bitmap.bmWidth);
  EXPECT_EQ(boardFrame[1].height, bitmap.bmHeight);
  EXPECT_EQ(300, boardFrame[1].width);
  EXPECT_EQ(WellPicture::Cells, imageRecord.well[0]);
  EXPECT_EQ(0, std::memcmp(cells, imageRecord.wellCells[0], sizeof cells));
  // The falling piece's first cell as held, painted at the new size.
  int i = 0;
  while (i < WELL_COLUMNS * WELL_ROWS - 1 && cells[i] == EMPTY) ++i;
  const int w = boardFrame[0].width, h = boardFrame[0].height;
  EXPECT_EQ(CellColour(cells[i]) & 0xFFFFFF,
            GetPixel(boardDC[0], (i / WELL_ROWS) * w / WELL_COLUMNS + w / 20, (i % WELL_ROWS) * h / WELL_ROWS + h / 40))
      << "cell " << i;

  Command(ID_STOP);
  Pump(100);
  SizeClient(700, 560);
  EXPECT_LT(100, RedPixels(boardDC[0], boardFrame[0])) << "the title drawn again";
  SizeClient(100, 100);
  EXPECT_EQ(MIN_CLIENT_WIDTH, clientWidth) << "the minimum size";
  EXPECT_EQ(MIN_CLIENT_HEIGHT, clientHeight);
  SizeClient(682, 512);
  EXPECT_EQ(28, boardFrame[0].rect.left);
  EXPECT_EQ(483, boardFrame[0].rect.bottom);
  GetWindowRect(GetDlgItem(mainWindow, ID_START), &r);
  MapWindowPoints(nullptr, mainWindow, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(276, r.left);
  EXPECT_EQ(384, r.top);
}

// Another monitor's DPI: the suggested rectangle laid out for it, the
// controls given a font of its size; back at 96 the controls have the
// system font again and the layout is today's. What a resize or a DPI
// change replaces is deleted.
TEST_F(MainWindow, ANewDpiLaysTheWindowOutForIt) {
  // (GetGuiResources counts nothing under Wine: the replaced objects are
  // checked to be gone instead.)
  const HGDIOBJ oldTitle = titleFont;
  RECT outer;
  GetWindowRect(mainWindow, &outer);
  RECT suggested = {outer.left, outer.top, outer.left + 1060, outer.top + 820};
  SendMessageA(mainWindow, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(144, layoutDpi);
  HWND start = GetDlgItem(mainWindow, ID_START);
  RECT r;
  GetWindowRect(start, &r);
  EXPECT_EQ(90, r.right - r.left);
  EXPECT_EQ(45, r.bottom - r.top);
  LOGFONTA font = {};
  ASSERT_NE(nullptr, controlFont);
  EXPECT_EQ(reinterpret_cast<LRESULT>(controlFont), SendMessageA(start, WM_GETFONT, 0, 0));
  GetObjectA(controlFont, sizeof font, &font);
  EXPECT_EQ(24, font.lfHeight);
  GetObjectA(titleFont, sizeof font, &font);
  EXPECT_EQ(72, font.lfHeight);
  EXPECT_EQ(0u, GetObjectType(oldTitle)) << "the old title font is deleted";
  // The smallest window: the least client at 144 DPI in a frame sized for it
  // (caption and borders), not for the system's 96.
  MINMAXINFO limits = {};
  SendMessageA(mainWindow, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  RECT frame96 = {0, 0, 0, 0};
  AdjustWindowRectEx(&frame96, MAIN_WINDOW_STYLE, FALSE, 0);
  EXPECT_GT(limits.ptMinTrackSize.y - ScaleToDpi(MIN_CLIENT_HEIGHT, 144), frame96.bottom - frame96.top);
  EXPECT_GT(limits.ptMinTrackSize.x - ScaleToDpi(MIN_CLIENT_WIDTH, 144), frame96.right - frame96.left);

  const HGDIOBJ oldFont = controlFont;
  const HGDIOBJ oldWell = boardBitmap[0];
  const HDC oldWellDC = boardDC[0];
  for (int i = 0; i < 10; ++i) SizeClient(700 + 30 * i, 500 + 20 * i);
  EXPECT_EQ(0u, GetObjectType(oldWell)) << "the old well image is deleted";
  EXPECT_EQ(0u, GetObjectType(oldWellDC));
  SetRect(&suggested, outer.left, outer.top, outer.right, outer.bottom);
  SendMessageA(mainWindow, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(96, layoutDpi);
  EXPECT_EQ(nullptr, controlFont);
  EXPECT_EQ(0, SendMessageA(start, WM_GETFONT, 0, 0)) << "the system font";
  EXPECT_EQ(682, clientWidth);
  EXPECT_EQ(28, boardFrame[0].rect.left);
  EXPECT_EQ(0u, GetObjectType(oldFont)) << "the 144-DPI control font is deleted";
}

// A frame tick as the frame timer runs it, after a clean window: the
// bounding box of what then waits to be repainted.
std::string Frame() {
  ValidateRect(mainWindow, nullptr);
  RunFrameTick();
  RECT r = {0, 0, 0, 0};
  GetUpdateRect(mainWindow, &r, FALSE);
  return Str(r);
}

TEST_F(MainWindow, FramesRepaintOnlyTheImagesThatChanged) {
  const std::string none = "(0,0)-(0,0)";
  Command(ID_START);
  gameState.shadowOn[0] = gameState.shadowOn[1] = 0;
  Frame();
  EXPECT_EQ(none, Frame()) << "an unchanged frame";

  // One cell of well 1 reaches the window.
  gameState.board[1][2 * 20 + 19] = 5;
  EXPECT_EQ(Rect(boardFrame[1]), Frame());
  UpdateWindow(mainWindow);
  HDC dc = GetDC(mainWindow);
  const int w = boardFrame[1].width, h = boardFrame[1].height;
  EXPECT_EQ(ColourTable[4], GetPixel(dc, boardFrame[1].rect.left + (2 * w / 10 + 3 * w / 10) / 2,
                                     boardFrame[1].rect.top + (19 * h / 20 + h) / 2));
  ReleaseDC(mainWindow, dc);

  // The preview goes blank, counts down on a frame that repaints nothing,
  // and comes back.
  gameState.previewBlind[0] = 2;
  EXPECT_EQ(Rect(previewFrame[0]), Frame());
  EXPECT_EQ(none, Frame());
  EXPECT_EQ(0, gameState.previewBlind[0]);
  EXPECT_EQ(Rect(previewFrame[0]), Frame()) << "the next piece shows again";

  gameState.shadowOn[0] = 1;
  EXPECT_EQ(Rect(boardFrame[0]), Frame()) << "ghost switched on";

  // Pause puts the title in both wells once; resuming brings the cells back.
  gameState.paused = true;
  EXPECT_EQ(Union(boardFrame[0], boardFrame[1]), Frame()) << "paused";
  EXPECT_LT(100, RedPixels(boardDC[1], boardFrame[1]));
  EXPECT_EQ(none, Frame()) << "still paused";
  gameState.paused = false;
  EXPECT_EQ(Union(boardFrame[0], boardFrame[1]), Frame()) << "resumed";
  EXPECT_EQ(0, RedPixels(boardDC[1], boardFrame[1]));

  // Player 1 out: the title in well 1 alone, as in play; Stop ends the
  // match: well 0's title, and the last match's figures under both.
  gameState.gameOver[1] = true;
  EXPECT_EQ(Rect(boardFrame[1]), Frame()) << "game over";
  Command(ID_STOP);
  EXPECT_EQ(Union(boardFrame[0], boardFrame[1]), Frame()) << "Stop";
  EXPECT_LT(100, RedPixels(boardDC[0], boardFrame[0]));
  EXPECT_EQ(none, Frame()) << "title screen";
}

TEST_F(MainWindow, ScoreLabelsRepaintWhenTheLeadChanges) {
  Command(ID_START);
  RunFrameTick();
  for (HWND label : scoreLabel) UpdateWindow(label);
  // Player 1 takes the lead: label 0 keeps its text but turns red.
  gameState.score[1] = 3;
  RunFrameTick();
  EXPECT_EQ("0", Text(scoreLabel[0]));
  EXPECT_EQ("3", Text(scoreLabel[1]));
  EXPECT_TRUE(GetUpdateRect(scoreLabel[0], nullptr, FALSE)) << "the trailer's label waits for no repaint";
  UpdateWindow(scoreLabel[0]);
  HDC dc = GetDC(scoreLabel[0]);
  EXPECT_EQ(ColourTable[0], GetPixel(dc, 1, 1)) << "red";
  ReleaseDC(scoreLabel[0], dc);
  Command(ID_STOP);
  gameState.score[1] = 0;
}

// Counting stand-ins for the winmm calls.
struct FakeTimer {
  UINT minPeriod;
  int begins, ends;
  UINT begun, ended;
  DWORD now;
} fakeTimer;
MMRESULT WINAPI FakeCaps(LPTIMECAPS caps, UINT) {
  caps->wPeriodMin = fakeTimer.minPeriod;
  caps->wPeriodMax = 1000000;
  return MMSYSERR_NOERROR;
}
MMRESULT WINAPI FakeBegin(UINT period) {
  ++fakeTimer.begins;
  fakeTimer.begun = period;
  return TIMERR_NOERROR;
}
MMRESULT WINAPI FakeEnd(UINT period) {
  ++fakeTimer.ends;
  fakeTimer.ended = period;
  return TIMERR_NOERROR;
}
DWORD WINAPI FakeTime() { return fakeTimer.now; }

TEST_F(MainWindow, TimerPeriodIsHeldWhileTheWindowExistsAndGivenBackOnce) {
  EXPECT_NE(0u, timerPeriodHeld) << "asked for when the window was made";
  const TimerCalls real = timerCalls;
  fakeTimer = {};
  timerCalls = {FakeCaps, FakeBegin, FakeEnd, FakeTime};
  const UINT held = timerPeriodHeld;
  DestroyWindow(mainWindow);
  Pump(20);
  EXPECT_EQ(1, fakeTimer.ends);
  EXPECT_EQ(held, fakeTimer.ended);
  EXPECT_EQ(0u, timerPeriodHeld);
  EXPECT_EQ(0u, frameTimerMs) << "no frame timer without the window";

  fakeTimer.minPeriod = 0;  // never below 1 ms
  ASSERT_TRUE(CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOW));
  EXPECT_EQ(FRAME_PERIOD_MS, frameTimerMs);
  BeginTimerResolution();
  EXPECT_EQ(1, fakeTimer.begins) << "asked for once";
  EXPECT_EQ(1u, fakeTimer.begun);
  { TimerResolutionRelease atExit; }
  EXPECT_EQ(2, fakeTimer.ends);
  EndTimerResolution();
  EXPECT_EQ(2, fakeTimer.ends) << "given back once";
  fakeTimer.minPeriod = 2;
  BeginTimerResolution();
  EXPECT_EQ(2u, fakeTimer.begun) << "the finest the system offers";
  EndTimerResolution();

  // The frame timer runs the ticks due by the clock: the blank preview
  // counts them.
  Command(ID_START);
  gameState.previewBlind[0] = 100;
  fakeTimer.now = 5000;
  const int32_t ticks[] = {1, 2, 0, 5, 1};
  const DWORD at[] = {5000, 5025, 5029, 15025, 15035};
  for (int i = 0; i < 5; ++i) {
    const int32_t before = gameState.previewBlind[0];
    fakeTimer.now = at[i];
    SendMessageA(mainWindow, WM_TIMER, FRAME_TIMER, 0);
    EXPECT_EQ(ticks[i], before - gameState.previewBlind[0]) << "at " << at[i];
  }

  // Paused, and at the title, the timer comes less often and each message
  // runs the ticks due; Start and a key message bring the frame pace back.
  const auto frameMessageAt = [](DWORD ms) {
    fakeTimer.now = ms;
    SendMessageA(mainWindow, WM_TIMER, FRAME_TIMER, 0);
  };
  EXPECT_EQ(FRAME_PERIOD_MS, frameTimerMs) << "in play";
  gameState.paused = true;
  frameMessageAt(15055);
  EXPECT_EQ(15055u, frameClock.lastMs) << "two ticks";
  EXPECT_EQ(PAUSED_TIMER_PERIOD_MS, frameTimerMs);
  SendMessageA(mainWindow, WM_KEYDOWN, 'Z', 0);
  EXPECT_EQ(FRAME_PERIOD_MS, frameTimerMs) << "a key may end the pause";
  frameMessageAt(15065);
  EXPECT_EQ(PAUSED_TIMER_PERIOD_MS, frameTimerMs) << "it did not";
  // Player 0's Pause held (player 1 out, who has the same key): the tick
  // that ends the pause leaves out the other one due, the clock starts anew.
  const KeyStateFn realKeys = keyStateSource;
  keyStateSource = [](int vk) -> SHORT { return vk == VK_DELETE ? static_cast<SHORT>(0x8000) : 0; };
  gameState.gameOver[1] = true;
  gameState.previewBlind[0] = 100;
  frameMessageAt(15090);
  keyStateSource = realKeys;
  EXPECT_FALSE(gameState.paused);
  EXPECT_EQ(99, gameState.previewBlind[0]) << "one tick in play";
  EXPECT_EQ(15090u, frameClock.lastMs);
  EXPECT_EQ(FRAME_PERIOD_MS, frameTimerMs);
  Command(ID_STOP);
  EXPECT_EQ(FRAME_PERIOD_MS, frameTimerMs) << "until a tick has drawn the title";
  frameMessageAt(15100);
  EXPECT_EQ(TITLE_TIMER_PERIOD_MS, frameTimerMs);
  frameMessageAt(15140);
  EXPECT_EQ(15140u, frameClock.lastMs) << "four ticks";
  Command(ID_START);
  EXPECT_EQ(FRAME_PERIOD_MS, frameTimerMs);
  Command(ID_STOP);
  timerCalls = real;
  BeginTimerResolution();
}

// Ends the open configuration dialog as its Cancel button would.
void CALLBACK CancelDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND dialog = FindWindowA("#32770", nullptr);
  if (dialog != nullptr) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(MainWindow, ConfigRunsTheDialogAndBindsTheJoystickBack) {
  g_Joystick[1].SetHWND(nullptr);
  SetTimer(nullptr, 0, 200, CancelDialog);
  SetFocus(GetDlgItem(mainWindow, ID_CONFIG0 + 1));
  Command(ID_CONFIG0 + 1);
  EXPECT_EQ(1, configPlayer);
  EXPECT_EQ(mainWindow, g_Joystick[1].m_hWnd);
  EXPECT_EQ(mainWindow, GetFocus());
  EXPECT_EQ(nullptr, FindWindowA("#32770", nullptr)) << "the dialog was closed";
}

// The network dialogs, driven from a timer inside their modal loop: each
// message of the timer does the next step on the open dialog.
int dialogStep;
void (*const* dialogSteps)(HWND dialog);
void CALLBACK DialogTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = GetActiveWindow();
  if (dialog == nullptr || dialog == mainWindow) return;
  dialogSteps[dialogStep++](dialog);
  if (dialogSteps[dialogStep] == nullptr) KillTimer(nullptr, timer);
}
INT_PTR RunNetworkDialog(int id, NetworkDialogFields& fields, void (*const* steps)(HWND)) {
  dialogStep = 0;
  dialogSteps = steps;
  SetTimer(nullptr, 0, 30, DialogTimer);
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), mainWindow, NetworkDialog,
                         reinterpret_cast<LPARAM>(&fields));
}
std::string Field(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
void Ok(HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDOK, 0); }
std::string MenuText(UINT item) {
  char text[64] = "\xbd";
  if (GetMenuStringA(GetSystemMenu(mainWindow, FALSE), item, text, sizeof text, MF_BYCOMMAND) == 0) return "(none)";
  return text;
}

TEST_F(MainWindow, NetworkJoinAndHostDialogs) {
  // Join: the fields shown; a blank inside the address, a port past 65535
  // and an unclosed bracket keep the dialog open, each with its reason; then
  // an IPv6 address with its port is taken, that port winning over the
  // field's.
  static std::string shownPort, stayed, why[2];
  static void (*const joinSteps[])(HWND) = {
      [](HWND d) {
        shownPort = Field(d, IDC_PORT);
        SetDlgItemTextA(d, IDC_ADDRESS, "bad host");
        Ok(d);
      },
      [](HWND d) {
        stayed += "a";
        why[0] = Field(d, IDC_NETWORK_STATUS);
        SetDlgItemTextA(d, IDC_ADDRESS, " 192.0.2.7 ");
        SetDlgItemTextA(d, IDC_PORT, "70000");
        Ok(d);
      },
      [](HWND d) {
        stayed += "p";
        SetDlgItemTextA(d, IDC_ADDRESS, "[2001:db8::7");
        Ok(d);
      },
      [](HWND d) {
        stayed += "b";
        why[1] = Field(d, IDC_NETWORK_STATUS);
        SetDlgItemTextA(d, IDC_ADDRESS, " [2001:db8::7]:43001");
        Ok(d);
      },
      nullptr};
  NetworkDialogFields fields = {"\xbd", 41414};
  fields.address[0] = '\0';
  EXPECT_EQ(IDOK, RunNetworkDialog(IDD_JOIN, fields, joinSteps));
  EXPECT_EQ("41414", shownPort);
  EXPECT_EQ("apb", stayed) << "each faulty field kept the dialog open";
  EXPECT_EQ("\"bad host\" is neither an address nor a host name.", why[0]);
  EXPECT_NE(std::string::npos, why[1].find("[ADDRESS]:PORT")) << why[1];
  EXPECT_STREQ("2001:db8::7", fields.address);
  EXPECT_EQ(43001, fields.port);
  // Host: the port as shown; Cancel changes nothing.
  static void (*const hostSteps[])(HWND) = {
      [](HWND d) {
        shownPort = Field(d, IDC_PORT);
        SetDlgItemTextA(d, IDC_PORT, "1");
        SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
      },
      nullptr};
  EXPECT_EQ(IDCANCEL, RunNetworkDialog(IDD_HOST, fields, hostSteps));
  EXPECT_EQ("43001", shownPort);
  EXPECT_EQ(43001, fields.port);
}

// The system menu, and the title while hosting; leaving gives both back.
TEST_F(MainWindow, NetworkMenuAndTitle) {
  session.options.unattended = true;
  EXPECT_EQ("Host a network match...", MenuText(IDM_HOST_NETWORK));
  EXPECT_EQ("Join a network match...", MenuText(IDM_JOIN_NETWORK));
  EXPECT_EQ("(none)", MenuText(IDM_LEAVE_NETWORK));
  ASSERT_TRUE(HostNetworkMatch(43411));
  Pump(30);
  EXPECT_EQ("BlockTide - waiting for a player on port 43411", Text(mainWindow));
  EXPECT_EQ("Leave the network match", MenuText(IDM_LEAVE_NETWORK));
  const UINT host = GetMenuState(GetSystemMenu(mainWindow, FALSE), IDM_HOST_NETWORK, MF_BYCOMMAND);
  EXPECT_NE(0u, host & MF_GRAYED) << "one session at a time";
  EXPECT_EQ(FRAME_PERIOD_MS, frameTimerMs) << "the session is polled at the frame pace";
  Command(ID_START);
  EXPECT_TRUE(gameState.gameOver[0] && gameState.gameOver[1]) << "no match before the other player comes";
  SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_LEAVE_NETWORK, 0);
  EXPECT_EQ("BlockTide", Text(mainWindow));
  EXPECT_EQ("(none)", MenuText(IDM_LEAVE_NETWORK));
  EXPECT_FALSE(NetworkMatchOn());
  // Joining by IPv6: the title writes the address in brackets, the port after.
  ASSERT_TRUE(JoinNetworkMatch("::1", 43412));
  for (int i = 0; i < 50 && Text(mainWindow).find("looking up") != std::string::npos; ++i) Pump(10);
  EXPECT_EQ("BlockTide - joining [::1]:43412", Text(mainWindow));
  SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_LEAVE_NETWORK, 0);
  EXPECT_FALSE(NetworkMatchOn());
  session.options.unattended = false;
}

TEST_F(MainWindow, InviteJoinDialog) {
  // The invite items sit beside the network ones.
  EXPECT_EQ("Host an internet match...", MenuText(IDM_HOST_INTERNET));
  EXPECT_EQ("Join an internet match...", MenuText(IDM_JOIN_INTERNET));
  // Join by code: a bad code is refused with a message and the dialog stays;
  // a lower-case code without its dash is taken, the lobby trimmed.
  static std::string shownLobby, status;
  static void (*const inviteSteps[])(HWND) = {
      [](HWND d) {
        shownLobby = Field(d, IDC_LOBBY);
        SetDlgItemTextA(d, IDC_LOBBY, " 127.0.0.1:43150 ");
        SetDlgItemTextA(d, IDC_INVITE_CODE, "ABCD-0000");
        Ok(d);
      },
      [](HWND d) {
        status = Field(d, IDC_INVITE_STATUS);
        SetDlgItemTextA(d, IDC_INVITE_CODE, "abcd2345");
        Ok(d);
      },
      nullptr};
  InviteDialogFields invite = {"lobby.example", 0xdeadbeef};
  dialogStep = 0;
  dialogSteps = inviteSteps;
  SetTimer(nullptr, 0, 30, DialogTimer);
  EXPECT_EQ(IDOK, DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_JOIN_INVITE), mainWindow,
                                  InviteDialog, reinterpret_cast<LPARAM>(&invite)));
  EXPECT_EQ("lobby.example", shownLobby);
  EXPECT_NE(std::string::npos, status.find("ABCD-0000")) << "the refusal names what was typed: " << status;
  uint64_t code = 0;
  ASSERT_TRUE(ParseLobbyCode("ABCD-2345", code));
  EXPECT_EQ(code, invite.code);
  EXPECT_STREQ("127.0.0.1:43150", invite.lobby);
}

// The host's code dialog shows the code; Copy puts it on the clipboard.
TEST_F(MainWindow, InviteCodeDialogCopiesTheCode) {
  HWND shown = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INVITE_CODE), mainWindow,
                                  InviteCodeDialog, reinterpret_cast<LPARAM>("ABCD-2345"));
  ASSERT_NE(nullptr, shown);
  EXPECT_EQ("ABCD-2345", Field(shown, IDC_INVITE_CODE));
  ASSERT_TRUE(OpenClipboard(mainWindow));
  EmptyClipboard();
  CloseClipboard();
  SendMessageA(shown, WM_COMMAND, MAKEWPARAM(IDC_COPY, BN_CLICKED), 0);
  ASSERT_TRUE(OpenClipboard(mainWindow));
  HANDLE data = GetClipboardData(CF_TEXT);
  const char* copied = data != nullptr ? static_cast<const char*>(GlobalLock(data)) : nullptr;
  EXPECT_STREQ("ABCD-2345", copied != nullptr ? copied : "(nothing)");
  if (copied != nullptr) GlobalUnlock(data);
  CloseClipboard();
  DestroyWindow(shown);
}

// Through the menu: OK stores the lobby, the title asks it for a code and
// the items are greyed; Leave before any answer gives all back.
TEST_F(MainWindow, HostInviteThroughTheMenu) {
  static void (*const hostInviteSteps[])(HWND) = {
      [](HWND d) {
        SetDlgItemTextA(d, IDC_LOBBY, "127.0.0.1:43151");
        Ok(d);
      },
      nullptr};
  session.options.unattended = true;
  dialogStep = 0;
  dialogSteps = hostInviteSteps;
  SetTimer(nullptr, 0, 30, DialogTimer);
  SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_HOST_INTERNET, 0);
  Pump(100);
  char lobby[64] = "\xbd";
  ASSERT_TRUE(LoadLobbyAddress(lobby, sizeof lobby));
  EXPECT_STREQ("127.0.0.1:43151", lobby);
  EXPECT_EQ("BlockTide - asking the lobby 127.0.0.1:43151 for an invite code", Text(mainWindow));
  EXPECT_TRUE(NetworkMatchOn());
  const UINT join = GetMenuState(GetSystemMenu(mainWindow, FALSE), IDM_JOIN_INTERNET, MF_BYCOMMAND);
  EXPECT_NE(0u, join & MF_GRAYED);
  SendMessageA(mainWindow, WM_SYSCOMMAND, IDM_LEAVE_NETWORK, 0);
  EXPECT_EQ("BlockTide", Text(mainWindow));
  EXPECT_FALSE(NetworkMatchOn());
  session.options.unattended = false;
}

// The kept match's failures: without memory for both stores the one made is
// given back and the menu says why nothing is kept; a save that cannot be
// written gives the system's error code (the menu's message words it).
TEST_F(MainWindow, KeptMatchFailuresAreSaid) {
  const KeptMatch before = keptMatch;
  fakedi::AllocationHooks& hooks = fakedi::Allocations();
  const long long freed = hooks.freed, failed = hooks.failed;
  Recorder recorder = {};
  hooks.failAfter = 1;  // the first store is made, the second is not
  BeginKeptMatch(recorder);
  hooks.failAfter = -1;
  EXPECT_EQ(failed + 1, hooks.failed);
  EXPECT_EQ(freed + 1, hooks.freed) << "the store made is given back";
  EXPECT_EQ(nullptr, keptMatch.bytes[0]);
  EXPECT_EQ(nullptr, keptMatch.bytes[1]);
  EXPECT_EQ(nullptr, recorder.also) << "nothing feeds a kept match";
  ShowMatchMenuItems(mainWindow);
  EXPECT_EQ("Save the last match (no memory to keep one)", MenuText(IDM_SAVE_MATCH));
  EXPECT_NE(0u, GetMenuState(GetSystemMenu(mainWindow, FALSE), IDM_SAVE_MATCH, MF_BYCOMMAND) & MF_GRAYED);

  static char stores[2][8] = {"", "match\n"};
  keptMatch.bytes[0] = stores[0];
  keptMatch.bytes[1] = stores[1];
  keptMatch.used[1] = 6;
  keptMatch.current = 0;
  keptMatch.haveLast = true;
  unsigned long error = 0xdeadbeef;
  EXPECT_FALSE(SaveLastMatch("Z:\\no-such-blocktide-folder\\match.rec", error));
  EXPECT_EQ(static_cast<unsigned long>(ERROR_PATH_NOT_FOUND), error);
  keptMatch = before;
  ShowMatchMenuItems(mainWindow);
}

}  // namespace
