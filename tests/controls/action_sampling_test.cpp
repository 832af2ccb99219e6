// The sampler under Wine: a scripted key state through keyStateSource and
// the players' joystick objects rebuilt on the fake DirectInput.
#include <gtest/gtest.h>

#include <cstring>

#include "controls/action_sampling.h"
#include "controls/control_set.h"
#include "tests/fakes/fake_dinput.h"

namespace {

SHORT keyState[256];

SHORT ScriptedKeyState(int vk) { return (vk >= 0 && vk < 256) ? keyState[vk] : 0; }

void Hold(int vk) { keyState[vk] = static_cast<SHORT>(0x8000); }

class Sampler : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(keyState, 0, sizeof keyState);
    savedSource = keyStateSource;
    keyStateSource = ScriptedKeyState;
    fakedi::Reset();
    pad = &fakedi::AddJoystick(fakedi::MakeGuid(7), "Pad");
    pad->AddButtons(12);
    pad->axes = 8;
    pad->hats = 4;
    fakedi::Install();
    ResetPauseSampling();
    window = CreateWindowA("STATIC", "sampler", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    for (int p = 0; p < 2; ++p) {
      fakedi::RebuildJoystick(p);
      g_Joystick[p].SetHWND(window);
    }
    SetDefaultControls();
  }
  void TearDown() override {
    for (int p = 0; p < 2; ++p) g_Joystick[p].Shutdown();
    fakedi::Restore();
    DestroyWindow(window);
    keyStateSource = savedSource;
  }
  // Player p in joystick mode on the pad, every binding zero (button 0).
  void JoystickSet(int p) {
    std::memset(&controls[p], 0, sizeof controls[p]);
    std::memcpy(controls[p].deviceGuid, &pad->guidInstance, 16);
    g_Joystick[p].SelectDevice(&pad->guidInstance);
  }
  // Samples until the pad has been read once more, at most a few polls
  // (the first poll of a fresh object only opens the device).
  Action SampleRead(int p) {
    const int before = pad->Calls(fakedi::Method::GetDeviceState);
    Action got = Action::NoAction;
    for (int i = 0; i < 3 && pad->Calls(fakedi::Method::GetDeviceState) == before; ++i) got = SampleAction(p);
    return got;
  }

  fakedi::FakeJoystick* pad = nullptr;
  KeyStateFn savedSource = nullptr;
  HWND window = nullptr;
};

}  // namespace

TEST_F(Sampler, KeysByTheirTopBitLowestActionWins) {
  EXPECT_EQ(Action::NoAction, SampleAction(0));
  EXPECT_EQ(Action::NoAction, SampleAction(1));
  // The "pressed since the last call" bit alone is not a held key.
  keyState['S'] = 1;
  EXPECT_EQ(Action::NoAction, SampleAction(0));
  Hold(' ');
  Hold('D');
  EXPECT_EQ(Action::Right, SampleAction(0));
  EXPECT_EQ(Action::Right, SampleAction(1)) << "both players share the default keys";
  Hold('S');
  EXPECT_EQ(Action::SpeedUp, SampleAction(0));
  keyState['S'] = keyState['D'] = 0;
  EXPECT_EQ(Action::Fall, SampleAction(1));
  // Keyboard mode never polls the joystick.
  EXPECT_EQ(0, pad->Calls(fakedi::Method::GetDeviceState));
  EXPECT_EQ(0, pad->Calls(fakedi::Method::Poll));

  // One binding at a time through IsBindingActive, key codes out of range.
  EXPECT_TRUE(IsBindingActive(0, Binding{3, 0, ' '}));
  EXPECT_FALSE(IsBindingActive(0, Binding{3, 0, ' ' + 256}));
  EXPECT_FALSE(IsBindingActive(0, Binding{3, 0, -1}));
  EXPECT_FALSE(IsBindingActive(0, Binding{4, 0, ' '}));
  EXPECT_EQ(Action::NoAction, SampleAction(2)) << "no third player";
  EXPECT_FALSE(IsBindingActive(-1, Binding{3, 0, ' '}));
}

TEST_F(Sampler, JoystickModePollsAndReadsButtonsAxesAndHats) {
  JoystickSet(0);
  pad->SetButton(0, true);
  EXPECT_EQ(Action::SpeedUp, SampleRead(0)) << "the all-zero set binds button 0 to every action";
  EXPECT_GT(pad->Calls(fakedi::Method::GetDeviceState), 0);

  pad->SetButton(0, false);
  controls[0].bindings[0] = Binding{1, 1, 1};      // SpeedUp: Y positive
  controls[0].bindings[1] = Binding{2, 4500, 2};   // Left: hat 2 up-right
  controls[0].bindings[2] = Binding{0, 0, 11};     // Right: button 11
  controls[0].bindings[3] = Binding{0, 0, 11 + 256};  // RotateCW: wraps onto 11
  controls[0].bindings[4] = Binding{0, 0, -245};   // RotateCCW: negative, never
  controls[0].bindings[5] = Binding{1, 0, 9};      // Swap: axis 9 reads 0, never
  controls[0].bindings[6] = Binding{7, 0, 0};      // Pause: no such kind
  controls[0].bindings[7] = Binding{0, 0, 200};    // Fall: button 200, never polled
  EXPECT_EQ(Action::NoAction, SampleRead(0));

  pad->SetAxis(1, -10000);
  EXPECT_EQ(Action::NoAction, SampleRead(0)) << "the axis pushed the other way";
  pad->SetAxis(1, 10000);
  EXPECT_EQ(Action::SpeedUp, SampleRead(0));
  pad->SetAxis(1, 0);
  pad->SetHat(2, 9000);
  EXPECT_EQ(Action::NoAction, SampleRead(0)) << "9000 is not 4500";
  pad->SetHat(2, 4500);
  EXPECT_EQ(Action::Left, SampleRead(0));
  pad->SetHat(2, 0xFFFFFFFF);
  controls[0].bindings[1] = Binding{2, -1, 2};     // a stored "centred" is held by no hat
  EXPECT_EQ(Action::NoAction, SampleRead(0));
  pad->SetButton(11, true);
  EXPECT_EQ(Action::Right, SampleRead(0));
  controls[0].bindings[2] = Binding{0, 0, 3};
  EXPECT_EQ(Action::RotateCW, SampleRead(0));
  EXPECT_TRUE(IsBindingActive(0, Binding{0, 0, 11}));
  EXPECT_FALSE(IsBindingActive(0, Binding{0, 0, -1}));

  // Player 1 in keyboard mode is untouched by player 0's joystick.
  EXPECT_EQ(Action::NoAction, SampleAction(1));
}

TEST_F(Sampler, KeyboardModeReadsTheUnpolledObject) {
  JoystickSet(0);
  pad->SetButton(0, true);
  EXPECT_EQ(Action::SpeedUp, SampleRead(0));
  // Same bindings in keyboard mode: no poll, and the flag read at the last
  // poll still holds although the button is up by now.
  controls[0].keyboardMode = 1;
  pad->SetButton(0, false);
  const int reads = pad->Calls(fakedi::Method::GetDeviceState);
  const int polls = pad->Calls(fakedi::Method::Poll);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Action::SpeedUp, SampleAction(0)) << "sample " << i;
  EXPECT_EQ(reads, pad->Calls(fakedi::Method::GetDeviceState));
  EXPECT_EQ(polls, pad->Calls(fakedi::Method::Poll));
  // A keyboardMode byte of any nonzero value is keyboard mode.
  controls[0].keyboardMode = 0x37;
  EXPECT_EQ(Action::SpeedUp, SampleAction(0));
  EXPECT_EQ(reads, pad->Calls(fakedi::Method::GetDeviceState));
  // Back in joystick mode the next read sees the button up.
  controls[0].keyboardMode = 0;
  EXPECT_EQ(Action::NoAction, SampleRead(0));
}

// A held Pause toggled the pause every 5th tick under the repeat rule, and
// one press of the shared default key paused and resumed at once.
TEST_F(Sampler, PauseIsOnePressWhoeverItIsBoundTo) {
  // Held 3 to 100 frames (30 ms to 1 s), both players sampled each frame.
  for (int frames : {3, 8, 15, 30, 100}) {
    int pauses[2] = {0, 0};
    for (int f = 0; f <= frames; ++f) {
      keyState[VK_DELETE] = f < frames ? static_cast<SHORT>(0x8000) : 0;
      for (int p = 0; p < 2; ++p) pauses[p] += SampleAction(p) == Action::Pause ? 1 : 0;
    }
    EXPECT_EQ(1, pauses[0]) << "player 0 takes the shared key's press, held " << frames;
    EXPECT_EQ(0, pauses[1]) << "and player 1 not the same press, held " << frames;
  }
  // One sampling a row: the keys down, the player, what it gets.
  struct Row { int keys[2]; int p; Action want; const char* why; };
  const Row rows[] = {{{VK_DELETE}, 1, Action::Pause, "player 0 out: player 1 takes it"},
                      {{}, 1, Action::NoAction, "released"},
                      {{VK_DELETE}, 0, Action::Pause, "pressed again"},
                      {{VK_DELETE, 'A'}, 0, Action::Left, "the other keys as before while held"},
                      {{}, 0, Action::NoAction, "released"},
                      {{VK_DELETE, 'S'}, 0, Action::SpeedUp, "the lower action held at the press wins"},
                      {{VK_DELETE}, 0, Action::Pause, "and the press waited for it"},
                      {{}, 0, Action::NoAction, "released"}};
  for (const Row& r : rows) {
    std::memset(keyState, 0, sizeof keyState);
    for (int vk : r.keys) keyState[vk] = static_cast<SHORT>(vk != 0 ? 0x8000 : 0);
    EXPECT_EQ(r.want, SampleAction(r.p)) << r.why;
  }
  controls[1].bindings[6].arg2 = VK_INSERT;  // keys of their own: a press each
  Hold(VK_DELETE);
  Hold(VK_INSERT);
  EXPECT_EQ(Action::Pause, SampleAction(0));
  EXPECT_EQ(Action::Pause, SampleAction(1));

  // A joystick button: one Pause per press, held over 40 polls.
  JoystickSet(0);
  for (int a = 0; a < 8; ++a) controls[0].bindings[a] = Binding{0, 0, a == 6 ? 5 : 20 + a};
  ASSERT_EQ(Action::NoAction, SampleRead(0)) << "the pad open and read";
  for (int press = 0; press < 3; ++press) {
    int pauses = 0;
    for (int f = 0; f <= 40; ++f) {
      pad->SetButton(5, f < 40);
      pauses += SampleAction(0) == Action::Pause ? 1 : 0;
    }
    EXPECT_EQ(1, pauses) << "press " << press;
  }
}
