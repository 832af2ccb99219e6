// Captures and display texts: key priority, joystick priority within one
// poll, the Escape, time-out and no-device ends, the focus afterwards, every text.
#include "tests/controls/dialog_fixture.h"

namespace dialogtest {
namespace {

TEST_F(DialogTest, KeyboardCaptureTakesTheHighestCodeAndKeepsTheFocus) {
  Open();
  controls[1].bindings[0].arg1 = 77;
  keysDown[1] = keysDown[2] = true;  // mouse buttons never count
  keysDown[VK_SHIFT] = keysDown[VK_RSHIFT] = true;
  keyCallsUntilDown = 3 * 248;       // three empty scans first
  Capture(0);
  EXPECT_EQ(3, controls[1].bindings[0].kind);
  EXPECT_EQ(VK_RSHIFT, controls[1].bindings[0].arg2) << "side-specific code wins";
  EXPECT_EQ(77, controls[1].bindings[0].arg1) << "left as it was";
  EXPECT_EQ(4 * 248, keyCalls) << "whole scans of codes 8 to 255";

  // A real focus change starts a capture; the field keeps the focus after it.
  memset(keysDown, 0, sizeof keysDown);
  keysDown['Z'] = true;
  ShowWindow(dialog, SW_SHOW);
  SetFocus(Field(7));
  EXPECT_EQ('Z', controls[1].bindings[7].arg2);
  EXPECT_EQ(Field(7), GetFocus());
  EXPECT_EQ("Z", Text(Field(7)));
}

TEST_F(DialogTest, JoystickCaptureTakesButtonThenAxisThenHatFromOnePoll) {
  StorePadBForPlayer1();
  Open();
  struct Case {
    int button, axis, axisValue, hat;
    DWORD reading;
    Binding expected;
    const char* text;
  } cases[] = {
      {11, 2, -10000, 1, 9000, {0, 77, 11}, "Button 11"},
      {-1, 6, -3000, 1, 9000, {1, 0, 6}, "Negative Slider X Axis"},
      {-1, 0, 10000, -1, 0, {1, 1, 0}, "Positive X Axis"},
      {-1, -1, 0, 3, 4500, {2, 4500, 3}, "POV #4 Up-Right"},
  };
  for (const Case& c : cases) {
    padB->ClearState();
    if (c.button >= 0) padB->SetButton(c.button, true);
    if (c.axis >= 0) padB->SetAxis(c.axis, c.axisValue);
    if (c.hat >= 0) padB->SetHat(c.hat, c.reading);
    controls[1].bindings[4] = Binding{9, 77, 9};
    ShowWindow(dialog, SW_SHOW);
    SetFocus(Field(4));
    const Binding& got = controls[1].bindings[4];
    EXPECT_EQ(c.expected.kind, got.kind) << c.text;
    EXPECT_EQ(c.expected.arg1, got.arg1) << c.text;
    EXPECT_EQ(c.expected.arg2, got.arg2) << c.text;
    EXPECT_EQ(c.text, Text(Field(4)));
    EXPECT_NE(Field(4), GetFocus()) << "off the field: a new focus captures again";
  }
}

TEST_F(DialogTest, JoystickCaptureGivesUpAfterTenSecondsOrAtOnceWithoutADevice) {
  StorePadBForPlayer1();
  Open();
  padB->ClearState();  // an untouched stick delivers no input at all
  SetWindowTextA(Field(3), "before");
  const Binding before = controls[1].bindings[3];
  // Started just before the clock wraps: the unsigned difference still holds.
  tickNow = 0xFFFFF000u, tickStep = 1000;
  Capture(3);
  EXPECT_EQ(11, tickCalls) << "start, then one read per pass until 10 s passed";
  EXPECT_EQ(allocationsAtFirstTick, allocationsAtLastTick) << "the polling loop allocates";
  EXPECT_EQ(0, memcmp(&before, &controls[1].bindings[3], sizeof before));
  EXPECT_EQ("before", Text(Field(3)));
  EXPECT_NE(Field(3), GetFocus()) << "off the field";
  EXPECT_TRUE(GetFocus() == dialog || IsChild(dialog, GetFocus()));

  // An unplugged stick: no device opens, no buttons, the poll fails; the
  // capture ends before it starts waiting, with nothing taken.
  padB->attached = false;
  tickCalls = 0;
  ShowWindow(dialog, SW_SHOW);
  SetFocus(Field(3));
  EXPECT_EQ(0, tickCalls) << "waited for a device that cannot answer";
  EXPECT_EQ(0, memcmp(&before, &controls[1].bindings[3], sizeof before));
  EXPECT_EQ("before", Text(Field(3)));
  EXPECT_NE(Field(3), GetFocus());
  EXPECT_TRUE(IsChild(dialog, GetFocus())) << "the focus is back in the dialog";
}

long hookCalls;
void CountHookCall() { ++hookCalls; }

TEST_F(DialogTest, InANetworkSessionCapturesCallTheHookAndGiveUpAfterThreeSeconds) {
  // No key comes: the key capture gives up rather than hold the program.
  Open();
  captureHook = CountHookCall;
  hookCalls = 0;
  controls[1].bindings[2] = Binding{3, 0, 'D'};
  tickStep = 1000;
  Capture(2);
  EXPECT_EQ(3, hookCalls) << "the hook runs on every pass";
  EXPECT_EQ('D', controls[1].bindings[2].arg2);
  EXPECT_NE(Field(2), GetFocus()) << "off the field: a new focus captures again";
  // A silent stick: 3 s, not 10.
  DestroyWindow(dialog);
  StorePadBForPlayer1();
  Open();
  padB->ClearState();
  tickCalls = 0;
  Capture(3);
  EXPECT_EQ(4, tickCalls) << "start, then one read per pass until 3 s passed";
}

TEST_F(DialogTest, EscapeEndsOnlyTheJoystickCapture) {
  StorePadBForPlayer1();
  Open();
  ShowWindow(dialog, SW_SHOW);
  padB->ClearState();
  padB->SetButton(11, true);
  Capture(0);  // an earlier edit that Cancel would discard
  ASSERT_EQ(11, controls[1].bindings[0].arg2);
  padB->ClearState();
  // As a real press leaves them: the key messages wait in the queue (none is
  // processed while polling), behind a key pressed earlier.
  PostMessageA(Field(3), WM_KEYDOWN, 'A', 0x001E0001);
  PostMessageA(Field(3), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageA(Field(3), WM_KEYDOWN, VK_ESCAPE, 0x40010001);  // key repeat
  PostMessageA(Field(3), WM_KEYUP, VK_ESCAPE, 0xC0010001);
  keysDown[VK_ESCAPE] = true;
  keyCallsUntilDown = 5, keyCallsUntilUp = 20;
  Capture(3);
  EXPECT_EQ(21, keyCalls) << "ends on the sixth pass, then waits for the release";
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE));
  EXPECT_EQ('A', msg.wParam) << "other keys stay queued";
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (IsDialogMessageA(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  EXPECT_TRUE(IsWindowVisible(dialog)) << "the Escape reached the dialog as Cancel";
  EXPECT_EQ(11, controls[1].bindings[0].arg2) << "the earlier edit was discarded";
  EXPECT_EQ("Button 11", Text(Field(0)));
}

TEST_F(DialogTest, BindingTextsNeverOverflowOrFormatANull) {
  padB->AddButton(12, std::string(259, 'n'));
  StorePadBForPlayer1();
  Open();
  char text[BINDING_TEXT_SIZE];
  struct Case {
    Binding binding;
    std::string text;
  } cases[] = {
      {{0, 0, 2}, "Button 2"},
      {{0, 0, 12}, std::string(255, 'n')},
      {{0, 0, 13}, "(null)"},
      {{0, 0, -1}, "(null)"},
      {{1, 5, 5}, "Positive Rudder"},
      {{1, 0, 8}, "Negative (null)"},
      {{2, -1, 0}, "POV #1 Idle"},
      {{2, 4000, 1}, "POV #2 (null)"},
      {{2, 31500, INT32_MAX}, "POV #2147483648 Up-Left"},
      {{3, 0, 'S'}, "S"},
      {{4, 0, 0}, ""},
      {{-1, 0, 0}, ""},
  };
  for (const Case& c : cases) {
    memset(text, 0xbd, sizeof text);
    FormatBinding(1, c.binding, text);
    EXPECT_EQ(c.text, text) << c.binding.kind << " " << c.binding.arg2;
  }
  // Delete has no extended bit: it reads as its keypad twin.
  FormatBinding(1, Binding{3, 0, VK_DELETE}, text);
  std::string del = text;
  FormatBinding(1, Binding{3, 0, VK_DECIMAL}, text);
  EXPECT_EQ(std::string(text), del);
  EXPECT_NE("", del);

  SetWindowTextA(Field(0), "kept");
  ShowBinding(dialog, 8, Binding{3, 0, 'S'});
  ShowBinding(dialog, -1, Binding{3, 0, 'S'});
  EXPECT_EQ("kept", Text(Field(0)));
  ShowBinding(dialog, 7, Binding{1, 1, 1});
  EXPECT_EQ("Positive Y Axis", Text(Field(7)));
}

}  // namespace
}  // namespace dialogtest

namespace dialogtest {
namespace {

// Not an assertion, a figure: how often the capture loops look at the
// inputs under Wine (a keyboard scan with the real key state, a joystick
// pass over the fake device). The clock runs 100 times fast, so the 10 s
// time-out passes in 0.1 s.
LARGE_INTEGER clockStart, clockRate;
DWORD WINAPI FastClock() {
  ++tickCalls;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<DWORD>((now.QuadPart - clockStart.QuadPart) * 100000 / clockRate.QuadPart);
}
TEST_F(DialogTest, CaptureLoopRates) {
  keyStateSource = GetAsyncKeyState;
  LARGE_INTEGER a, b;
  QueryPerformanceFrequency(&clockRate);
  QueryPerformanceCounter(&a);
  int down = 0;
  for (int scan = 0; scan < 100; ++scan) {
    for (int code = 8; code <= 255; ++code) down += (GetAsyncKeyState(code) & 0x8000) != 0;
  }
  QueryPerformanceCounter(&b);
  double scanMicros = (b.QuadPart - a.QuadPart) * 1e6 / clockRate.QuadPart / 100;
  StorePadBForPlayer1();
  Open();
  padB->ClearState();
  tickCountSource = FastClock;
  QueryPerformanceCounter(&clockStart);
  Capture(0);
  printf("keyboard scan of 248 codes: %.1f us; joystick passes: %.0f per second\n", scanMicros,
         (tickCalls - 1) / 0.1);
  EXPECT_EQ(0, down) << "no key is held during the tests";
}

}  // namespace
}  // namespace dialogtest
