// Capturing one input for an action: the highest key code down in keyboard
// mode; in joystick mode the first button, else axis, else hat of one poll,
// given up at once when no device answers, after a time-out, or on Escape.
// In a network session each pass also calls the window's hook, and a key
// capture gives up after a time-out as well.
#include "controls/action_sampling.h"
#include "controls/config_dialog.h"
#include "joystick/di_joystick.h"

TickCountFn tickCountSource = GetTickCount;
CaptureHookFn captureHook = nullptr;

namespace {

// Whole scans of codes 8 (Backspace) to 255 until one finds a key down; the
// mouse buttons (1 to 6) are below the range and never end a capture.
constexpr int32_t FIRST_KEY_CODE = VK_BACK;
constexpr int32_t LAST_KEY_CODE = 255;
static_assert(FIRST_KEY_CODE == 8, "the scan starts above the mouse buttons");

// The key code, or -1 when a network session's time-out passed first.
int32_t WaitForKey() {
  const DWORD start = captureHook != nullptr ? tickCountSource() : 0;
  for (;;) {
    int32_t found = -1;
    for (int code = FIRST_KEY_CODE; code <= LAST_KEY_CODE; ++code) {
      if (KeyDownNow(code)) found = code;
    }
    if (found >= 0) return found;
    if (captureHook != nullptr) {
      captureHook();
      if (tickCountSource() - start >= NETWORK_CAPTURE_TIMEOUT_MS) return -1;
    }
  }
}

// One poll's reading, by priority: button 0..buttons-1, axis 0..7, hat 0..3.
// Fills found (arg1 of a button kept as it was) and reports whether any.
bool ReadJoystickInput(const CDIJoystick& stick, int buttons, Binding& found) {
  for (int i = 0; i < buttons; ++i) {
    if (stick.m_Buttons[i]) {
      found.kind = static_cast<int32_t>(BindingKind::Button);
      found.arg2 = i;
      return true;
    }
  }
  for (int i = 0; i < 8; ++i) {
    int32_t value = stick.GetAxisValue(i);
    if (value != 0) {
      found.kind = static_cast<int32_t>(BindingKind::Axis);
      found.arg1 = value > 0 ? 1 : 0;
      found.arg2 = i;
      return true;
    }
  }
  for (int i = 0; i < 4; ++i) {
    int32_t reading = stick.GetPOVValue(i);
    if (reading != -1) {
      found.kind = static_cast<int32_t>(BindingKind::Hat);
      found.arg1 = reading;
      found.arg2 = i;
      return true;
    }
  }
  return false;
}

enum class JoystickWait { Found, NoDevice, Escape, TimeOut };

// Polls until an input shows, Escape is down or the time-out passes.
JoystickWait WaitForJoystickInput(CDIJoystick& stick, int buttons, Binding& found) {
  // No buttons and a failed poll: the device could not be opened, and no
  // input can ever come from it. Waiting would only block the whole game.
  if (!stick.PollDevice() && buttons == 0) return JoystickWait::NoDevice;
  const DWORD start = tickCountSource();
  const DWORD limit = captureHook != nullptr ? NETWORK_CAPTURE_TIMEOUT_MS : CAPTURE_TIMEOUT_MS;
  for (;;) {
    if (KeyDownNow(VK_ESCAPE)) return JoystickWait::Escape;
    if (captureHook != nullptr) captureHook();
    // Unsigned difference: correct across the 49.7-day wrap of the clock.
    if (tickCountSource() - start >= limit) return JoystickWait::TimeOut;
    stick.PollDevice();
    if (ReadJoystickInput(stick, buttons, found)) return JoystickWait::Found;
  }
}

bool IsEscapeKeyMessage(const MSG& msg) {
  return (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR) &&
         msg.wParam == VK_ESCAPE;
}

// The Escape that abandoned a joystick capture is still queued (no message
// was processed while polling) and would then reach the dialog as Cancel,
// discarding every edit. Wait for its release, so that no key repeat comes
// after, then take its key messages out; other keys pressed meanwhile are
// posted back in their order, ahead of any input still queued.
void SwallowEscape() {
  const DWORD start = tickCountSource();
  while (KeyDownNow(VK_ESCAPE) && tickCountSource() - start < CAPTURE_TIMEOUT_MS) {
    if (captureHook != nullptr) captureHook();
  }
  MSG kept[32];
  int count = 0;
  MSG msg;
  while (count < 32 && PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    if (!IsEscapeKeyMessage(msg)) kept[count++] = msg;
  }
  for (int i = 0; i < count; ++i) PostMessageA(kept[i].hwnd, kept[i].message, kept[i].wParam, kept[i].lParam);
}

// The captured binding's text, written into the field that was captured.
void ShowInField(HWND field, int p, const Binding& binding) {
  char text[BINDING_TEXT_SIZE];
  FormatBinding(p, binding, text);
  SetWindowTextA(field, text);
}

}  // namespace

void CaptureBinding(HWND dialog, HWND field, int action) {
  if (action < 0 || action > 7) return;
  const int p = ConfigDialogPlayer();
  Binding& binding = controls[p].bindings[action];
  // The computer's fields are disabled; a stray focus captures nothing.
  if (controls[p].keyboardMode == COMPUTER_MODE) return;
  if (controls[p].keyboardMode) {
    const int32_t code = WaitForKey();
    if (code < 0) {
      SetFocus(dialog);  // timed out: a new focus on the field captures again
      return;
    }
    binding.kind = static_cast<int32_t>(BindingKind::Key);
    binding.arg2 = code;
    ShowInField(field, p, binding);
    return;  // the focus stays in the field
  }
  CDIJoystick& stick = g_Joystick[p];
  int buttons = stick.BuildFriendlyButtonNames();
  if (buttons < 0) buttons = 0;
  if (buttons > 128) buttons = 128;  // a poll refreshes flags 0 to 127 only
  Binding found = binding;
  const JoystickWait end = WaitForJoystickInput(stick, buttons, found);
  if (end == JoystickWait::Found) {
    binding = found;
    ShowInField(field, p, binding);
  }
  // Off the field, so that giving it the focus again starts a new capture.
  SetFocus(dialog);
  if (end == JoystickWait::Escape) SwallowEscape();
}
