// Display texts of bindings in the configuration dialog's fields: joystick
// button, axis and hat names, and the platform's key names.
#include <cinttypes>
#include <cstdio>

#include "controls/config_dialog.h"
#include "joystick/di_joystick.h"

namespace {

// A missing name shows as this literal; a null is never handed to a format.
const char* OrNull(const char* name) { return name ? name : "(null)"; }

// The scan code's byte; GetKeyNameTextA takes it in bits 16 to 23.
constexpr UINT SCAN_CODE_MASK = 0xFF;

// Key names by scan code alone, the extended-key bit (24) left clear, so the
// doubled keys (Delete, the arrows, ...) read as their keypad twins.
void FormatKey(int32_t code, char (&text)[BINDING_TEXT_SIZE]) {
  text[0] = '\0';
  UINT scan = MapVirtualKeyA(static_cast<UINT>(code), MAPVK_VK_TO_VSC) & SCAN_CODE_MASK;
  if (GetKeyNameTextA(static_cast<LONG>(scan << 16), text, sizeof text) <= 0) text[0] = '\0';
  text[sizeof text - 1] = '\0';
}

}  // namespace

void FormatBinding(int p, const Binding& binding, char (&text)[BINDING_TEXT_SIZE]) {
  CDIJoystick& stick = g_Joystick[p == 1 ? 1 : 0];
  text[0] = '\0';
  switch (binding.kind) {
    case static_cast<int32_t>(BindingKind::Button):
      // Device names may be 259 characters; snprintf cuts them to fit.
      snprintf(text, sizeof text, "%s", OrNull(stick.GetButtonName(binding.arg2)));
      return;
    case static_cast<int32_t>(BindingKind::Axis):
      snprintf(text, sizeof text, "%s %s", binding.arg1 ? "Positive" : "Negative",
               OrNull(stick.GetAxisName(binding.arg2)));
      return;
    case static_cast<int32_t>(BindingKind::Hat):
      // Widened first: a stored hat number of INT32_MAX shows as 2147483648.
      snprintf(text, sizeof text, "POV #%" PRId64 " %s", static_cast<int64_t>(binding.arg2) + 1,
               OrNull(stick.GetPOVDirectionName(binding.arg1)));
      return;
    case static_cast<int32_t>(BindingKind::Key):
      FormatKey(binding.arg2, text);
      return;
    default:
      return;
  }
}

void ShowBinding(HWND dialog, int action, const Binding& binding) {
  if (action < 0 || action > 7) return;
  char text[BINDING_TEXT_SIZE];
  FormatBinding(ConfigDialogPlayer(), binding, text);
  SetDlgItemTextA(dialog, FIELD_OF_ACTION[action], text);
}
