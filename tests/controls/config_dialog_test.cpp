// The dialog itself: template, opening, device list, device change, OK and
// Cancel through the real registry of the build's own Wine prefix.
#include "tests/controls/dialog_fixture.h"

namespace dialogtest {
namespace {

TEST_F(DialogTest, TemplateOpensOnTheStoredSetWithTheDeviceList) {
  StorePadBForPlayer1();
  ASSERT_NE(nullptr, Open());
  char caption[32] = "";
  GetWindowTextA(dialog, caption, sizeof caption);
  EXPECT_STREQ("Dialog", caption);
  EXPECT_EQ(dialog, padB->coopWindow) << "the stick is reopened against the dialog";
  // Tab order is template order: OK, Cancel, the list, then the fields.
  const int order[] = {IDOK, IDCANCEL, IDC_DEVICE, 1001, 1002, 1004, 1003, 1008, 1005, 1007, 1006};
  HWND item = GetNextDlgTabItem(dialog, nullptr, FALSE);
  for (int id : order) {
    EXPECT_EQ(id, GetDlgCtrlID(item));
    item = GetNextDlgTabItem(dialog, item, FALSE);
  }
  for (int a = 0; a < 8; ++a) {
    // Edit controls take WS_BORDER off their style and draw the border.
    LONG style = GetWindowLongA(Field(a), GWL_STYLE);
    EXPECT_EQ(ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP,
              style & (ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP)) << a;
    EXPECT_TRUE(IsWindowEnabled(Field(a))) << a;
  }
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK))) << "enabled with the fields";
  HWND list = GetDlgItem(dialog, IDC_DEVICE);
  ASSERT_EQ(8, SendMessageA(list, CB_GETCOUNT, 0, 0));
  const char* names[] = {"Keyboard",         "Pad A",           "Pad B",
                         "Computer 1: beginner", "Computer 2: casual", "Computer 3: club",
                         "Computer 4: expert", "Computer 5: machine"};
  for (int i = 0; i < 8; ++i) {
    char name[64] = "";
    SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
    EXPECT_STREQ(names[i], name);
  }
  EXPECT_EQ(2, SendMessageA(list, CB_GETCURSEL, 0, 0)) << "player 1's stored stick";
  EXPECT_EQ("S", Text(Field(0))) << "the stored keys are shown";
  // Dropped, the list shows every entry (the template's height showed one).
  SendMessageA(list, CB_SHOWDROPDOWN, TRUE, 0);
  COMBOBOXINFO info = {};
  info.cbSize = sizeof info;
  RECT shown = {};
  ASSERT_TRUE(GetComboBoxInfo(list, &info) && GetClientRect(info.hwndList, &shown));
  EXPECT_LE(8 * SendMessageA(list, CB_GETITEMHEIGHT, 0, 0), shown.bottom);
  SendMessageA(list, CB_SHOWDROPDOWN, FALSE, 0);
  RECT closed = {};
  GetWindowRect(list, &closed);
  EXPECT_GT(40, closed.bottom - closed.top) << "closed, the box keeps its height";

  // Keyboard mode selects entry 0; a stick that is not listed selects none.
  controls[1].keyboardMode = 1;
  RefreshConfigDialog(dialog);
  EXPECT_EQ(0, SendMessageA(list, CB_GETCURSEL, 0, 0));
  controls[1].keyboardMode = 0;
  controls[1].deviceGuid[15] ^= 0xFF;
  RefreshConfigDialog(dialog);
  EXPECT_EQ(CB_ERR, SendMessageA(list, CB_GETCURSEL, 0, 0)) << "nothing selected";
}

// The template as laid out, before ConfigDialog touches it: positions in
// dialog units, and OK disabled until the fields are enabled with it.
INT_PTR CALLBACK BareDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
TEST_F(DialogTest, TemplatePlacesTheControlsAndDisablesOk) {
  dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIG), nullptr,
                              BareDialog, 0);
  ASSERT_NE(nullptr, dialog);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
  RECT client, size = {0, 0, 232, 124};
  GetClientRect(dialog, &client);
  MapDialogRect(dialog, &size);
  EXPECT_EQ(size.right, client.right);
  EXPECT_EQ(size.bottom, client.bottom);
  const int places[][5] = {{IDOK, 35, 102, 50, 14},    {IDCANCEL, 131, 102, 50, 14},
                           {1001, 41, 28, 73, 12},     {1002, 41, 46, 73, 12},
                           {1004, 41, 82, 73, 12},     {1003, 41, 64, 73, 12},
                           {1008, 156, 82, 73, 12},    {1005, 156, 64, 73, 12},
                           {1007, 156, 46, 73, 12},    {1006, 156, 28, 73, 12}};
  for (const auto& place : places) {
    // Position and size are converted separately, as the dialog manager does.
    RECT want = {place[1], place[2], place[3], place[4]};
    MapDialogRect(dialog, &want);
    RECT got;
    GetWindowRect(GetDlgItem(dialog, place[0]), &got);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
    EXPECT_EQ(want.left, got.left) << place[0];
    EXPECT_EQ(want.top, got.top) << place[0];
    EXPECT_EQ(want.right, got.right - got.left) << place[0];
    EXPECT_EQ(want.bottom, got.bottom - got.top) << place[0];
  }
  EXPECT_EQ(CBS_DROPDOWNLIST, GetWindowLongA(GetDlgItem(dialog, IDC_DEVICE), GWL_STYLE) & 3);
}

TEST_F(DialogTest, DeviceChangeClearsEveryBindingAndKeepsTheStickOnKeyboard) {
  Open();
  ASSERT_EQ(1, controls[1].keyboardMode) << "nothing stored: defaults";
  ChooseDevice(1);
  EXPECT_EQ(0, controls[1].keyboardMode);
  EXPECT_EQ(0, memcmp(&padA->guidInstance, controls[1].deviceGuid, 16));
  EXPECT_EQ(0, memcmp(&padA->guidInstance, &g_Joystick[1].m_guidDevice, 16)) << "selected";
  const Binding zero[8] = {};
  EXPECT_EQ(0, memcmp(zero, controls[1].bindings, sizeof zero));
  for (int a = 0; a < 8; ++a) EXPECT_EQ("", Text(Field(a))) << a;

  controls[1].bindings[2].kind = 3;
  ChooseDevice(0);
  EXPECT_EQ(1, controls[1].keyboardMode);
  EXPECT_EQ(0, memcmp(&padA->guidInstance, controls[1].deviceGuid, 16)) << "kept on Keyboard";
  EXPECT_EQ(0, controls[1].bindings[2].kind);

  // No selection reads like an entry past the list: mode and stick stay.
  controls[1].bindings[2].kind = 3;
  ChooseDevice(-1);
  EXPECT_EQ(1, controls[1].keyboardMode);
  EXPECT_EQ(0, controls[1].bindings[2].kind);
  EXPECT_EQ(0, memcmp(&padA->guidInstance, controls[1].deviceGuid, 16));
  EXPECT_NE(0xbd, controls[0].keyboardMode) << "defaults were loaded for both";
}

// The computer's levels are the last entries: choosing one stores mode 2
// and its level with the fields cleared and disabled; a stored 2 opens on
// its level's entry (level 5 for a level byte outside 1 to 5); other nonzero
// modes stay the keyboard; a stick that is gone still selects nothing, not
// a level.
TEST_F(DialogTest, ComputerEntryStoresModeTwoAndDisablesTheFields) {
  StorePadBForPlayer1();
  Open();
  HWND list = GetDlgItem(dialog, IDC_DEVICE);
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  ChooseDevice(3);
  EXPECT_EQ(COMPUTER_MODE, controls[1].keyboardMode);
  EXPECT_EQ(1, controls[1].reserved[0]);
  EXPECT_EQ(0, memcmp(&padB->guidInstance, controls[1].deviceGuid, 16)) << "the stick is kept";
  const Binding zero[8] = {};
  EXPECT_EQ(0, memcmp(zero, controls[1].bindings, sizeof zero));
  for (int a = 0; a < 8; ++a) {
    EXPECT_EQ("", Text(Field(a))) << a;
    EXPECT_FALSE(IsWindowEnabled(Field(a))) << a;
  }
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
  Capture(0);  // a stray focus on a disabled field captures nothing
  EXPECT_EQ(0, controls[1].bindings[0].kind);

  ChooseDevice(2);
  EXPECT_EQ(0, controls[1].keyboardMode) << "back to a stick";
  EXPECT_EQ(1, controls[1].reserved[0]) << "the level byte travels on";
  for (int a = 0; a < 8; ++a) EXPECT_TRUE(IsWindowEnabled(Field(a))) << a;

  const struct {
    uint8_t mode;
    uint8_t level;
    uint8_t guidLast;
    LRESULT selected;
  } loads[] = {{COMPUTER_MODE, 0, 0, 7}, {COMPUTER_MODE, 1, 0, 3}, {COMPUTER_MODE, 4, 0, 6},
               {COMPUTER_MODE, 5, 0, 7}, {COMPUTER_MODE, 6, 0, 7}, {COMPUTER_MODE, 0xFF, 0, 7},
               {1, 2, 0, 0},             {3, 0, 0, 0},             {0xFF, 0, 0, 0},
               {0, 3, 0, 2},             {0, 0, 0x55, CB_ERR}};
  for (const auto& load : loads) {
    memcpy(controls[1].deviceGuid, &padB->guidInstance, 16);
    controls[1].deviceGuid[15] ^= load.guidLast;
    controls[1].keyboardMode = load.mode;
    controls[1].reserved[0] = load.level;
    controls[1].bindings[0] = Binding{3, 0, 'S'};
    RefreshConfigDialog(dialog);
    EXPECT_EQ(load.selected, SendMessageA(list, CB_GETCURSEL, 0, 0))
        << "mode " << int(load.mode) << " level " << int(load.level);
    EXPECT_EQ(load.mode == COMPUTER_MODE ? "" : "S", Text(Field(0))) << "mode " << int(load.mode);
    EXPECT_EQ(load.mode != COMPUTER_MODE, IsWindowEnabled(Field(0)) != FALSE) << "mode " << int(load.mode);
  }
}

// Runs the dialog modally; the timer does `step` inside its loop.
void (*modalStep)(HWND dialog);
int focusAtOpen;  // control id; the dialog is gone when the test reads it
void CALLBACK ModalTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND dialog = FindWindowA(nullptr, "Dialog");
  focusAtOpen = GetDlgCtrlID(GetFocus());
  modalStep(dialog);
}
INT_PTR RunModal(void (*step)(HWND)) {
  modalStep = step;
  SetTimer(nullptr, 0, 50, ModalTimer);
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIG), nullptr,
                         ConfigDialog, 0);
}

TEST_F(DialogTest, OkStoresOnlyTheConfiguredPlayersSet) {
  uint8_t stored[232];
  for (int i = 0; i < 232; ++i) stored[i] = static_cast<uint8_t>(i);
  SetDefaultControls();
  memcpy(stored + 116, &controls[1], 116);
  stored[117] = 0x5A;  // a reserved byte travels with the set
  WriteStored(stored, sizeof stored);
  keysDown['K'] = true;
  EXPECT_EQ(1, RunModal([](HWND dialog) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1001, EN_SETFOCUS),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1001)));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  }));
  EXPECT_EQ(IDOK, focusAtOpen) << "the focus lands on OK, no capture runs";
  uint8_t after[232];
  ASSERT_EQ(232u, ReadStored(after, sizeof after));
  EXPECT_EQ(0, memcmp(stored, after, 116)) << "player 0's stored bytes untouched";
  ControlSet saved;
  memcpy(&saved, after + 116, 116);
  EXPECT_EQ(0x5A, saved.reserved[0]);
  EXPECT_EQ(3, saved.bindings[0].kind);
  EXPECT_EQ('K', saved.bindings[0].arg2);
  EXPECT_EQ(0x41, saved.bindings[1].arg2);
}

// A level kept with OK is stored in the set's first reserved byte (the mode
// byte 2 before it), opens the dialog on its entry again and is the level
// the sampler hands to the computer; a set stored before the levels (0
// there) plays as level 5.
int chosenEntry;
TEST_F(DialogTest, ChosenLevelRoundTripsThroughTheStoreAndPlays) {
  for (int level : {1, 3, 5}) {
    DeleteSettings();
    chosenEntry = 2 + level;
    EXPECT_EQ(1, RunModal([](HWND dialog) {
      SendDlgItemMessageA(dialog, IDC_DEVICE, CB_SETCURSEL, static_cast<WPARAM>(chosenEntry), 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DEVICE, CBN_SELCHANGE), 0);
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }));
    uint8_t after[232];
    ASSERT_EQ(232u, ReadStored(after, sizeof after));
    EXPECT_EQ(COMPUTER_MODE, after[116]) << "level " << level;
    EXPECT_EQ(level, after[117]);
    EXPECT_EQ(1, after[0]) << "player 0 keeps the keyboard";
    memset(controls, 0xbd, sizeof controls);
    ASSERT_NE(nullptr, Open());
    EXPECT_EQ(chosenEntry, SendDlgItemMessageA(dialog, IDC_DEVICE, CB_GETCURSEL, 0, 0)) << "level " << level;
    DestroyWindow(dialog);
    dialog = nullptr;
  }

  // The sampler asks the computer at the stored level: level 1 is still
  // reacting to a new piece when level 5 presses.
  for (uint8_t stored : {1, 0, 5, 9}) {
    controls[1].reserved[0] = stored;
    gameState = {};
    LoadTemplate(gameState.curPiece[1], PieceTable[0]);
    gameState.pieceX[1] = SPAWN_COLUMN;
    ResetComputer();
    EXPECT_EQ(stored == 1, SampleAction(1) == Action::NoAction) << "level byte " << int(stored);
  }
}

TEST_F(DialogTest, CancelRestoresTheStoredSetOrTheDefaultsForBoth) {
  StorePadBForPlayer1();
  EXPECT_EQ(2, RunModal([](HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_DEVICE, CB_SETCURSEL, 0, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DEVICE, CBN_SELCHANGE), 0);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }));
  EXPECT_EQ(0, controls[1].keyboardMode) << "back on the stored stick";
  EXPECT_EQ(0x53, controls[1].bindings[0].arg2);

  // Nothing stored, or the stored stick is gone: Cancel gives both players
  // the defaults.
  for (bool gone : {false, true}) {
    DeleteSettings();
    if (gone) {
      ControlSet sets[2] = {};
      sets[1].deviceGuid[0] = 0xC;  // joystick mode on a stick that is not listed
      WriteStored(sets, sizeof sets);
    }
    EXPECT_EQ(2, RunModal([](HWND dialog) {
      SendDlgItemMessageA(dialog, IDC_DEVICE, CB_SETCURSEL, 1, 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DEVICE, CBN_SELCHANGE), 0);
      memset(&controls[0], 0xbd, sizeof controls[0]);
      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }));
    ControlSet after[2];
    memcpy(after, controls, sizeof after);
    SetDefaultControls();
    EXPECT_EQ(0, memcmp(controls, after, sizeof after)) << "gone " << gone;
  }
  EXPECT_EQ(nullptr, configHandles.okButton) << "handles die with the dialog";
}

}  // namespace
}  // namespace dialogtest

namespace dialogtest {
namespace {

// The icons are the game's blocks: the large one starts with the falling
// bar of shape 4, the small one with shape 3, in ColourTable's colours.
TEST(Icons, ShowFallingBlocksInTheGameColours) {
  struct Case {
    int id, size, x, y, shape;
  } cases[] = {{IDI_BLOCKTIDE, 32, 9, 1, 4}, {IDI_BLOCKTIDE, 48, 14, 2, 4}, {IDI_SMALL, 16, 5, 1, 3}};
  for (const Case& c : cases) {
    HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(c.id),
                                               IMAGE_ICON, c.size, c.size, 0));
    ASSERT_NE(nullptr, icon) << c.id;
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), c.size, -c.size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    uint32_t* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    HGDIOBJ old = SelectObject(dc, dib);
    for (int i = 0; i < c.size * c.size; ++i) bits[i] = 0xdeadbeef;
    DrawIconEx(dc, 0, 0, icon, c.size, c.size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    uint32_t colour = ColourTable[c.shape - 1];  // 0x00BBGGRR
    uint32_t expected = ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    EXPECT_EQ(expected, bits[c.y * c.size + c.x] & 0xFFFFFF) << c.id << " at " << c.size;
    EXPECT_EQ(0xADBEEFu, bits[1] & 0xFFFFFF) << "a transparent corner keeps the sentinel: " << c.id;
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
    DestroyIcon(icon);
  }
}

}  // namespace
}  // namespace dialogtest
