// The sampler: player p's readings from the asynchronous key state and the
// player's joystick object, judged by the platform-free binding rule.
#include "controls/action_sampling.h"

#include "computer/computer_player.h"
#include "joystick/di_joystick.h"

static_assert(KEY_DELETE == VK_DELETE && KEY_SPACE == VK_SPACE, "the default keys' codes");

KeyStateFn keyStateSource = [](int virtualKey) -> SHORT { return GetAsyncKeyState(virtualKey); };

// The key state's top bit: the key is down now.
constexpr unsigned short KEY_STATE_DOWN = 0x8000u;

bool KeyDownNow(int32_t virtualKey) {
  return (static_cast<unsigned short>(keyStateSource(virtualKey)) & KEY_STATE_DOWN) != 0;
}

namespace {

// Readings as the joystick object holds them after its last poll (whoever
// made it); the keys are read at the moment each binding is tested.
void ReadInputs(int p, InputReadings& in) {
  const CDIJoystick& joystick = g_Joystick[p];
  in.keyDown = KeyDownNow;
  in.buttons = joystick.m_Buttons;
  for (int i = 0; i < 8; ++i) in.axes[i] = joystick.GetAxisValue(i);
  for (int i = 0; i < 4; ++i) in.hats[i] = joystick.GetPOVValue(i);
}

}  // namespace

Action SampleAction(int p) {
  if (!ValidPlayer(p)) return Action::NoAction;
  if (controls[p].keyboardMode == COMPUTER_MODE) return ComputerAction(p, ComputerLevelOf(controls[p]));
  // The mode only decides the poll; every binding is still judged by its
  // own kind, so a keyboard-mode set may read an unpolled joystick.
  if (controls[p].keyboardMode == 0) g_Joystick[p].PollDevice();
  InputReadings in;
  ReadInputs(p, in);
  return FirstActiveAction(controls[p], in);
}

bool IsBindingActive(int p, const Binding& binding) {
  if (!ValidPlayer(p)) return false;
  InputReadings in;
  ReadInputs(p, in);
  return BindingIsActive(binding, in);
}
