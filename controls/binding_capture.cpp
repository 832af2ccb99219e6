// Capturing one input for an action: the highest key code down in keyboard
// mode; in joystick mode the first button, else axis, else hat of one poll,
// given up after a time-out or on Escape.
#include "controls/action_sampling.h"
#include "controls/config_dialog.h"
#include "joystick/di_joystick.h"

TickCountFn tickCountSource = GetTickCount;

namespace {

// Whole scans of codes 8 to 255 until one finds a key down; the mouse
// buttons (1 to 6) are below the range and never end a capture.
int32_t WaitForKey() {
  for (;;) {
    int32_t found = -1;
    for (int code = 8; code <= 255; ++code) {
      if (KeyDownNow(code)) found = code;
    }
    if (found >= 0) return found;
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

// Polls until an input shows, Escape is down or the time-out passes; false
// when it gave up.
bool WaitForJoystickInput(CDIJoystick& stick, int buttons, Binding& found) {
  stick.PollDevice();
  const DWORD start = tickCountSource();
  for (;;) {
    // Unsigned difference: correct across the 49.7-day wrap of the clock.
    if (KeyDownNow(VK_ESCAPE) || tickCountSource() - start >= CAPTURE_TIMEOUT_MS) return false;
    stick.PollDevice();
    if (ReadJoystickInput(stick, buttons, found)) return true;
  }
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
  if (controls[p].keyboardMode) {
    binding.kind = static_cast<int32_t>(BindingKind::Key);
    binding.arg2 = WaitForKey();
    ShowInField(field, p, binding);
    return;  // the focus stays in the field
  }
  CDIJoystick& stick = g_Joystick[p];
  int buttons = stick.BuildFriendlyButtonNames();
  if (buttons < 0) buttons = 0;
  if (buttons > 128) buttons = 128;  // a poll refreshes flags 0 to 127 only
  Binding found = binding;
  if (WaitForJoystickInput(stick, buttons, found)) {
    binding = found;
    ShowInField(field, p, binding);
  }
  // Off the field, so that giving it the focus again starts a new capture.
  SetFocus(dialog);
}
