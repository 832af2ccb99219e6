// The two in-memory control sets, the default set and the platform-free rule
// that decides whether a binding is active for a given set of readings.
#include "controls/control_set.h"

#include <cstring>

ControlSet controls[2];

const int32_t DEFAULT_KEYS[8] = {'S', 'A', 'D', 'Q', 'W', 'F', KEY_DELETE, KEY_SPACE};

void SetDefaultControls() {
  // Reserved bytes and the device identifier go to zero too: the defaults
  // are a whole record, never a patch over what was loaded.
  std::memset(controls, 0, sizeof controls);
  for (ControlSet& set : controls) {
    set.keyboardMode = 1;
    for (int i = 0; i < 8; ++i) {
      set.bindings[i].kind = static_cast<int32_t>(BindingKind::Key);
      set.bindings[i].arg1 = 0;
      set.bindings[i].arg2 = DEFAULT_KEYS[i];
    }
  }
}

int32_t ComputerLevelOf(const ControlSet& set) {
  const int32_t level = set.reserved[COMPUTER_LEVEL_BYTE];
  return level >= COMPUTER_LEVEL_MIN && level <= COMPUTER_LEVEL_MAX ? level : COMPUTER_LEVEL_MAX;
}

namespace {

constexpr int32_t BUTTON_FLAGS = 256;
constexpr int32_t AXES = 8;
constexpr int32_t HATS = 4;
constexpr int32_t HAT_CENTRED = -1;

// An axis number outside 0 to 7 reads at rest, like the joystick object.
int32_t AxisReading(const InputReadings& in, int32_t axis) {
  return (axis >= 0 && axis < AXES) ? in.axes[axis] : 0;
}

// A hat number outside 0 to 3 (negative ones too) reads centred, like the
// joystick object does for 4 and more.
int32_t HatReading(const InputReadings& in, int32_t hat) {
  return (hat >= 0 && hat < HATS) ? in.hats[hat] : HAT_CENTRED;
}

}  // namespace

bool BindingIsActive(const Binding& binding, const InputReadings& in) {
  switch (binding.kind) {
    case static_cast<int32_t>(BindingKind::Button):
      // Large numbers wrap onto the 256 flags; a negative number has no
      // flag of its own and is never active.
      if (binding.arg2 < 0 || in.buttons == nullptr) return false;
      return in.buttons[binding.arg2 % BUTTON_FLAGS] != 0;
    case static_cast<int32_t>(BindingKind::Axis): {
      const int32_t reading = AxisReading(in, binding.arg2);
      return binding.arg1 != 0 ? reading > 0 : reading < 0;
    }
    case static_cast<int32_t>(BindingKind::Hat):
      // Centred is no direction: a binding stored at -1 would otherwise be
      // held on every frame by any hat at rest (or by a hat number past 3).
      if (binding.arg1 == HAT_CENTRED) return false;
      return HatReading(in, binding.arg2) == binding.arg1;
    case static_cast<int32_t>(BindingKind::Key):
      // Virtual-key codes are bytes; anything else names no key.
      if (binding.arg2 < 0 || binding.arg2 > 255 || in.keyDown == nullptr) return false;
      return in.keyDown(binding.arg2);
    default:
      return false;
  }
}

Action FirstActiveAction(const ControlSet& set, const InputReadings& in) {
  for (int i = 0; i < 8; ++i) {
    if (BindingIsActive(set.bindings[i], in)) return static_cast<Action>(i);
  }
  return Action::NoAction;
}
