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

// Where player p's Pause input notes that its press has been given: by the
// key's code for a key, else by the player.
bool& PauseGiven(int p, const Binding& pause) {
  const bool key = pause.kind == static_cast<int32_t>(BindingKind::Key) && pause.arg2 >= 0 && pause.arg2 < 256;
  return key ? pauseSampling.keyDown[pause.arg2] : pauseSampling.inputDown[p];
}

}  // namespace

PauseSampling pauseSampling;

void ResetPauseSampling() { pauseSampling = PauseSampling{}; }

Action SampleAction(int p) {
  if (!ValidPlayer(p)) return Action::NoAction;
  if (controls[p].keyboardMode == COMPUTER_MODE) return ComputerAction(p, ComputerLevelOf(controls[p]));
  // The mode only decides the poll; every binding is still judged by its
  // own kind, so a keyboard-mode set may read an unpolled joystick.
  if (controls[p].keyboardMode == 0) g_Joystick[p].PollDevice();
  InputReadings in;
  ReadInputs(p, in);
  // The press stays to be given while a lower action wins; once given, the
  // binding takes no part until it is up.
  const Binding& pause = controls[p].bindings[static_cast<int>(Action::Pause)];
  bool& given = PauseGiven(p, pause);
  if (!BindingIsActive(pause, in)) given = false;
  ControlSet set = controls[p];
  if (given) set.bindings[static_cast<int>(Action::Pause)].kind = -1;  // never active
  const Action a = FirstActiveAction(set, in);
  if (a == Action::Pause) given = true;
  return a;
}

bool IsBindingActive(int p, const Binding& binding) {
  if (!ValidPlayer(p)) return false;
  InputReadings in;
  ReadInputs(p, in);
  return BindingIsActive(binding, in);
}
