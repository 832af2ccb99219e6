// The main window: its class, the window and its child controls, and the
// window procedure routing timers, painting, commands and label colours.
#include "ui/main_window.h"

#include "computer/computer_player.h"
#include "controls/config_dialog.h"
#include "controls/settings_store.h"
#include "engine/engine.h"
#include "joystick/di_joystick.h"
#include "resources/resource.h"
#include "ui/frame_pacing.h"
#include "ui/frame_rendering.h"
#include "ui/layout.h"
#include "ui/match_menu.h"
#include "ui/match_recording.h"
#include "ui/network_match.h"
#include "ui/sound_switch.h"

const char MAIN_CLASS_NAME[] = "BLOCKTIDE";
const char MAIN_WINDOW_TITLE[] = "BlockTide";

HINSTANCE instance;
HWND mainWindow;
HWND scoreLabel[2];
HWND levelLabel[2];
WindowRecord windowRecord;

// At BASE_DPI the controls keep the system font they are made with.
static HWND MakeControl(const char* className, const char* text, DWORD style, const ControlPlace& place,
                        int id) {
  HWND control = CreateWindowExA(0, className, text, style, place.left, place.top, place.width, place.height,
                                 mainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (control != nullptr && controlFont != nullptr) {
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont), FALSE);
  }
  return control;
}

// Each child control and where the layout puts it.
struct PlacedControl {
  int id;
  const ControlPlace* place;
};
static const PlacedControl PLACED_CONTROLS[] = {
    {ID_START, &startPlace},         {ID_STOP, &stopPlace},           {ID_CONFIG0, &configPlace[0]},
    {ID_CONFIG0 + 1, &configPlace[1]}, {ID_SHADOW0, &shadowPlace[0]}, {ID_SHADOW0 + 1, &shadowPlace[1]},
    {ID_SCORE0, &scorePlace[0]},     {ID_SCORE0 + 1, &scorePlace[1]}, {ID_LEVEL0, &levelPlace[0]},
    {ID_LEVEL0 + 1, &levelPlace[1]},
};

int32_t ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int32_t dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : BASE_DPI;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi;
}

// GetDpiForWindow is looked up, not linked: Windows 7 and 8 lack it.
int32_t WindowDpi(HWND window) {
  typedef UINT(WINAPI * DpiForWindowFn)(HWND);
  const auto dpiForWindow = reinterpret_cast<DpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  const UINT dpi = dpiForWindow != nullptr ? dpiForWindow(window) : 0;
  if (dpi != 0) return static_cast<int32_t>(dpi);
  HDC dc = GetDC(window);
  const int32_t caps = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSX) : BASE_DPI;
  if (dc != nullptr) ReleaseDC(window, dc);
  return caps;
}

// A new client size or DPI: the layout, the fonts on a new DPI, the
// controls moved, the images made afresh; nothing when neither changed (so
// the window's first size keeps the start-up layout exactly).
static void FitLayout(HWND window, int32_t dpi) {
  RECT client;
  if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return;
  if (client.right == clientWidth && client.bottom == clientHeight && dpi == layoutDpi) return;
  const bool newDpi = dpi != layoutDpi;
  ComputeClientLayout(client.right, client.bottom, dpi);
  if (newDpi) MakeFonts();
  for (const PlacedControl& c : PLACED_CONTROLS) {
    HWND control = GetDlgItem(window, c.id);
    if (control == nullptr) continue;
    if (newDpi) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont), FALSE);
    MoveWindow(control, c.place->left, c.place->top, c.place->width, c.place->height, TRUE);
  }
  RemakeImages(window);
  InvalidateRect(window, nullptr, TRUE);
}

// The player's own place for the window: kept while it is neither
// minimised nor maximised, stored when asked.
static void NoteWindowPlace(HWND window, bool store) {
  if (!IsIconic(window)) {
    windowRecord.maximised = IsZoomed(window) ? 1 : 0;
    RECT r;
    if (windowRecord.maximised == 0 && GetWindowRect(window, &r)) {
      windowRecord = {r.left, r.top, r.right, r.bottom, 0};
    }
  }
  if (store) SaveWindowRecord(windowRecord);
}

// The window around a client rectangle, its frame sized for `dpi`:
// AdjustWindowRectExForDpi is looked up, not linked (Windows 7 to 10 1511
// lack it); without it the frame is the system DPI's.
static void FrameAround(RECT& r, int32_t dpi) {
  typedef BOOL(WINAPI * AdjustForDpiFn)(RECT*, DWORD, BOOL, DWORD, UINT);
  const auto adjustForDpi = reinterpret_cast<AdjustForDpiFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "AdjustWindowRectExForDpi")));
  if (adjustForDpi != nullptr && adjustForDpi(&r, MAIN_WINDOW_STYLE, FALSE, 0, static_cast<UINT>(dpi))) return;
  AdjustWindowRectEx(&r, MAIN_WINDOW_STYLE, FALSE, 0);
}

static void OnSize(HWND window, WPARAM kind) {
  if (kind == SIZE_MINIMIZED) return;
  const uint32_t maximised = kind == SIZE_MAXIMIZED ? 1 : 0;
  const bool toggled = maximised != windowRecord.maximised && windowRecord.right > windowRecord.left;
  NoteWindowPlace(window, toggled);
  FitLayout(window, WindowDpi(window));
}

// The smallest window whose client keeps every control whole.
static void OnMinMaxInfo(MINMAXINFO* info) {
  RECT r;
  SetRect(&r, 0, 0, ScaleToDpi(MIN_CLIENT_WIDTH, layoutDpi), ScaleToDpi(MIN_CLIENT_HEIGHT, layoutDpi));
  FrameAround(r, layoutDpi);
  info->ptMinTrackSize.x = r.right - r.left;
  info->ptMinTrackSize.y = r.bottom - r.top;
}

// Another monitor's DPI (the message's; the window's own DPI is that
// already): the suggested rectangle, laid out for the new DPI.
static void OnDpiChanged(HWND window, int32_t dpi, const RECT* suggested) {
  SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
               suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  FitLayout(window, dpi);
}

bool RegisterMainClass(HINSTANCE inst) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = inst;
  wc.hIcon = LoadIconA(inst, MAKEINTRESOURCEA(IDI_BLOCKTIDE));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
  wc.lpszClassName = MAIN_CLASS_NAME;
  wc.hIconSm = LoadIconA(inst, MAKEINTRESOURCEA(IDI_SMALL));
  return RegisterClassExA(&wc) != 0;
}

bool CreateMainWindow(HINSTANCE inst, int showCommand) {
  instance = inst;
  RECT outer;
  SetRect(&outer, 0, 0, clientWidth, clientHeight);
  FrameAround(outer, layoutDpi);  // the start-up layout's DPI: the screen's
  OffsetRect(&outer, 50, 50);
  windowRecord = {};
  WindowRecord stored = {};
  const bool restored = LoadWindowRecord(stored);
  // A stored place smaller than this scale's minimum was left at a smaller
  // scale (the value keeps no DPI): kept as a size, it would open at the
  // minimum, not at the layout's share of the screen, which it gets instead.
  const int32_t frameWidth = (outer.right - outer.left) - clientWidth;
  const int32_t frameHeight = (outer.bottom - outer.top) - clientHeight;
  const bool sized = stored.right - stored.left >= ScaleToDpi(MIN_CLIENT_WIDTH, layoutDpi) + frameWidth &&
                     stored.bottom - stored.top >= ScaleToDpi(MIN_CLIENT_HEIGHT, layoutDpi) + frameHeight;
  if (restored && sized) SetRect(&outer, stored.left, stored.top, stored.right, stored.bottom);
  if (restored && !sized) OffsetRect(&outer, stored.left - outer.left, stored.top - outer.top);
  HWND window = CreateWindowExA(0, MAIN_CLASS_NAME, MAIN_WINDOW_TITLE, MAIN_WINDOW_STYLE, outer.left, outer.top,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, inst, nullptr);
  if (window == nullptr) return false;
  mainWindow = window;

  MakeControl("BUTTON", "Start", BUTTON_STYLE, startPlace, ID_START);
  MakeControl("BUTTON", "Stop", BUTTON_STYLE, stopPlace, ID_STOP);
  MakeControl("BUTTON", "Config", BUTTON_STYLE, configPlace[0], ID_CONFIG0);
  MakeControl("BUTTON", "Config", BUTTON_STYLE, configPlace[1], ID_CONFIG0 + 1);
  scoreLabel[0] = MakeControl("STATIC", "0", LABEL_STYLE, scorePlace[0], ID_SCORE0);
  scoreLabel[1] = MakeControl("STATIC", "0", LABEL_STYLE, scorePlace[1], ID_SCORE0 + 1);
  levelLabel[0] = MakeControl("STATIC", "1", LABEL_STYLE, levelPlace[0], ID_LEVEL0);
  levelLabel[1] = MakeControl("STATIC", "1", LABEL_STYLE, levelPlace[1], ID_LEVEL0 + 1);
  // A replay plays the file's matches and controls: Start and Config would do nothing.
  if (session.replay != ReplayState::NotReplaying) {
    for (int id : {ID_START, ID_CONFIG0, ID_CONFIG0 + 1}) EnableWindow(GetDlgItem(window, id), FALSE);
  }
  // The window's DPI or the stored size may not be the start-up layout's.
  FitLayout(window, WindowDpi(window));
  NoteWindowPlace(window, false);

  ShowWindow(window, showCommand);
  // Maximised again after the first show, which the start-up information
  // may override, unless the game was started minimised or hidden.
  const bool shown = showCommand != SW_HIDE && showCommand != SW_MINIMIZE && showCommand != SW_SHOWMINIMIZED &&
                     showCommand != SW_SHOWMINNOACTIVE && showCommand != SW_FORCEMINIMIZE;
  if (restored && stored.maximised != 0 && shown) ShowWindow(window, SW_MAXIMIZE);
  UpdateWindow(window);
  return true;
}

static LRESULT OnCreate() {
  shadowCheck[0] = MakeControl("BUTTON", "Shadow", CHECK_BOX_STYLE, shadowPlace[0], ID_SHADOW0);
  shadowCheck[1] = MakeControl("BUTTON", "Shadow", CHECK_BOX_STYLE, shadowPlace[1], ID_SHADOW0 + 1);
  LoadShadows();
  for (int p = 0; p < PLAYERS; ++p) {
    if (gameState.shadowOn[p] != 0) SendMessageA(shadowCheck[p], BM_SETCHECK, BST_CHECKED, 0);
  }
  g_Joystick[0].SetHWND(mainWindow);
  g_Joystick[1].SetHWND(mainWindow);
  BeginTimerResolution();
  StartTimers(mainWindow, CreateImages(mainWindow));
  AddNetworkMenuItems(session.replay != ReplayState::NotReplaying);
  AddMatchMenuItems(mainWindow);  // before Sound, which stays the last item
  AddSoundMenuItem(mainWindow);
  return 0;
}

void StartMatch() {
  SetFocus(mainWindow);
  g_Joystick[0].SetHWND(mainWindow);
  g_Joystick[1].SetHWND(mainWindow);
  LoadControls(0);
  LoadControls(1);
  ResetPlayer(0);
  ResetPlayer(1);
  ResetComputer();  // no plan outlives its match
  RestartFrameClock();
}

void StopMatch() {
  gameState.gameOver[0] = true;
  gameState.gameOver[1] = true;
  EndMatchIfOver();
}

void RunConfigDialog(int p) {
  configPlayer = p;
  // A capture must not leave the other program without an answer.
  captureHook = NetworkMatchOn() ? PollNetworkDuringCapture : nullptr;
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CONFIG), mainWindow, ConfigDialog, 0);
  captureHook = nullptr;
  g_Joystick[configPlayer].SetHWND(mainWindow);
}

// The window's side of a command (the session's is RunCommand's).
static void ActOnCommand(int id) {
  if (id == ID_START) StartMatch();
  if (id == ID_STOP) StopMatch();
  if (id >= ID_SHADOW0 && id < ID_SHADOW0 + PLAYERS) SaveShadow(id - ID_SHADOW0);
  if (id >= ID_CONFIG0 && id < ID_CONFIG0 + PLAYERS) RunConfigDialog(id - ID_CONFIG0);
}

// A clicked control keeps the keyboard focus, and the default Fall key
// (Space) would then click it again: every command hands the focus back.
static bool OnCommand(int id) {
  if (!(NetworkMatchOn() ? NetworkCommand(id, ActOnCommand) : RunCommand(id, ActOnCommand))) return false;
  SetFocus(mainWindow);
  return true;
}

// Score labels are coloured by who leads; any other static keeps the
// default colours (answered by the default procedure).
static bool OnColourStatic(HDC dc, HWND control, LRESULT& brush) {
  for (int p = 0; p < PLAYERS; ++p) {
    if (control != nullptr && control == scoreLabel[p]) {
      const int32_t colour = LeaderColourIndex(gameState.score[p], gameState.score[1 - p]);
      SetBkColor(dc, CellColour(colour));
      brush = reinterpret_cast<LRESULT>(brushes[colour]);
      return true;
    }
  }
  return false;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  mainWindow = window;
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_CLOSE:
      // The window's destruction may come seconds after the close under
      // Wine: the other side is told now.
      LeaveNetworkMatch();
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_DESTROY:
      LeaveNetworkMatch();
      DestroyImages();
      ForgetTimers();
      EndTimerResolution();
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      PaintWindow(window);
      return 0;
    case WM_SIZE:
      OnSize(window, wParam);
      return 0;
    case WM_EXITSIZEMOVE:
      NoteWindowPlace(window, true);
      return 0;
    case WM_GETMINMAXINFO:
      OnMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(window, LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_TIMER:
      if (wParam == FRAME_TIMER) {
        if (NetworkMatchOn()) {
          RunNetworkFrames();
        } else {
          RunDueFrameTicks();
        }
      } else if (!networkPace && (wParam == GravityTimerId(0) || wParam == GravityTimerId(1))) {
        RunGravityTick(static_cast<int>(wParam - GravityTimerId(0)));
      }
      return 0;
    case WM_KEYDOWN:
      if (ReplayKey(wParam, lParam)) return 0;
      [[fallthrough]];
    case WM_SYSKEYDOWN:
      // The key may end a pause: sample it at the frame pace.
      QuickenFrameTimer();
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_NETWORK:
      NoteNetworkWakeError(HIWORD(lParam));  // WSAGETSELECTERROR, without Winsock's header here
      RunNetworkFrames();
      return 0;
    case WM_NETWORK_LOOKED_UP:
      OnHostLookedUp();
      return 0;
    case WM_INITMENU:
      ShowMatchMenuItems(window);
      return 0;
    case WM_SYSCOMMAND:
      if (OnNetworkMenu(static_cast<UINT>(wParam & 0xFFF0))) return 0;
      if (SoundMenuCommand(window, wParam)) return 0;
      if (MatchMenuCommand(window, wParam)) return 0;
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_COMMAND:
      if (OnCommand(LOWORD(wParam))) return 0;
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_CTLCOLORSTATIC: {
      LRESULT brush = 0;
      if (OnColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), brush)) return brush;
      return DefWindowProcA(window, message, wParam, lParam);
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
