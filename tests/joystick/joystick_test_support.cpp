// The joystick tests' fixture: every test starts from an empty fake world.
#include "tests/joystick/joystick_test_support.h"

void JoystickTest::SetUp() {
  fakedi::Reset();
  fakedi::Install();
}

void JoystickTest::TearDown() {
  // Leave both objects without references on this test's fakes.
  g_Joystick[0].Shutdown();
  g_Joystick[1].Shutdown();
  fakedi::Restore();
}

CDIJoystick& JoystickTest::Rebuild(int player) {
  fakedi::RebuildJoystick(player);
  fakedi::ClearLines();
  return g_Joystick[player];
}

bool JoystickTest::OpenAndAcquire(CDIJoystick& joy, const GUID& guid) {
  joy.SelectDevice(&guid);
  joy.PollDevice();
  bool read = joy.PollDevice();
  fakedi::ClearLines();
  return read;
}

std::vector<std::string> L(std::initializer_list<const char*> lines) {
  return std::vector<std::string>(lines.begin(), lines.end());
}
