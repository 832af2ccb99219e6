// Friendly button names against the fake: counting, gaps, places, bounds,
// the empty list, and failures while building.
#include "tests/joystick/joystick_test_support.h"

#include <cstring>

using fakedi::Method;

namespace {
const char* const kNoNamesLine =
    "Joysticks Have Been Enumerated However None Were Found Attached To This System\n"
    "Therefore I am Returning NULL from CDIJoystick::GetFirstButtonName()\n";
}

TEST_F(JoystickTest, TwelveButtonsGiveTwelveNamesByPlace) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  pad.AddButtons(12);
  pad.AddButton(40, "Beyond 31");  // only buttons 0 to 31 are named
  CDIJoystick& joy = Rebuild(0);
  joy.SelectDevice(&pad.guidInstance);

  EXPECT_EQ(12, joy.BuildFriendlyButtonNames());
  EXPECT_EQ(32, pad.Calls(Method::GetObjectInfo));
  EXPECT_STREQ("Button 0", joy.GetButtonName(0));
  EXPECT_STREQ("Button 11", joy.GetButtonName(11));
  EXPECT_EQ(nullptr, joy.GetButtonName(12));
  EXPECT_EQ(nullptr, joy.GetButtonName(-1)) << "a negative place names nothing";
  EXPECT_TRUE(fakedi::Lines().empty()) << fakedi::LinesText();
  // The walk itself.
  EXPECT_STREQ("Button 0", joy.GetFirstButtonName());
  EXPECT_STREQ("Button 1", joy.GetNextButtonName());

  // Rebuilding reopens the device and replaces the names.
  pad.buttons[0].name = "Trigger";
  EXPECT_EQ(12, joy.BuildFriendlyButtonNames());
  EXPECT_STREQ("Trigger", joy.GetButtonName(0));
  EXPECT_EQ(2, pad.devicesCreated);
  EXPECT_EQ(2, fakedi::OutstandingReferences()) << "the first device was released";
}

TEST_F(JoystickTest, ButtonsWithGapsAreNamedByTheirPlaceNotTheirNumber) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Gappy");
  pad.AddButton(0, "Fire");
  pad.AddButton(2, "Jump");
  pad.AddButton(7, "Start");
  pad.AddButton(31, "Last");
  CDIJoystick& joy = Rebuild(0);
  joy.SelectDevice(&pad.guidInstance);
  EXPECT_EQ(4, joy.BuildFriendlyButtonNames());
  EXPECT_STREQ("Fire", joy.GetButtonName(0));
  EXPECT_STREQ("Jump", joy.GetButtonName(1));
  EXPECT_STREQ("Start", joy.GetButtonName(2));
  EXPECT_STREQ("Last", joy.GetButtonName(3));
  EXPECT_EQ(nullptr, joy.GetButtonName(7));

  // Scripted object failures skip those buttons silently.
  pad.Sequence(Method::GetObjectInfo, {DIERR_OBJECTNOTFOUND});  // button 0
  EXPECT_EQ(3, joy.BuildFriendlyButtonNames());
  EXPECT_STREQ("Jump", joy.GetButtonName(0));
  EXPECT_TRUE(fakedi::Lines().empty()) << fakedi::LinesText();
}

TEST_F(JoystickTest, NoNamesWhenTheDeviceCannotBeOpened) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  pad.AddButtons(3);
  CDIJoystick& joy = Rebuild(0);
  fakedi::ClearLines();
  EXPECT_EQ(nullptr, joy.GetButtonName(0));
  EXPECT_EQ(L({kNoNamesLine}), fakedi::Lines());

  joy.SelectDevice(&pad.guidInstance);
  pad.Fail(Method::SetCooperativeLevel, E_HANDLE);
  fakedi::ClearLines();
  EXPECT_EQ(0, joy.BuildFriendlyButtonNames());
  EXPECT_EQ(L({"Failed to set game device cooperative level.\n",
               CDIJoystick::GetDIErrorText(E_HANDLE)}),
            fakedi::Lines());
  fakedi::ClearLines();
  EXPECT_EQ(nullptr, joy.GetButtonName(2));
  EXPECT_EQ(L({kNoNamesLine}), fakedi::Lines());
}

TEST_F(JoystickTest, NamesAreBoundedAndAllocationFailuresLeakNothing) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  pad.AddButton(0, std::string(300, 'L'));  // fills tszName with no terminator
  pad.AddButton(1, "Second");
  pad.AddButton(2, "Third");
  CDIJoystick& joy = Rebuild(0);
  joy.SelectDevice(&pad.guidInstance);
  EXPECT_EQ(3, joy.BuildFriendlyButtonNames());
  const char* name = joy.GetButtonName(0);
  ASSERT_NE(nullptr, name);
  EXPECT_EQ(std::string(259, 'L'), std::string(name));

  // One allocation failing in turn: a name buffer or its list entry. The
  // name is left out but counted, and nothing stays allocated.
  fakedi::AllocationHooks& hooks = fakedi::Allocations();
  for (int failing = 0; failing < 6; ++failing) {
    joy.ClearFriendlyButtonNames();
    long long held = hooks.count - hooks.freed;
    hooks.failAfter = failing;
    int count = joy.BuildFriendlyButtonNames();
    hooks.failAfter = -1;
    int named = 0;
    for (const char* n = joy.GetFirstButtonName(); n; n = joy.GetNextButtonName()) ++named;
    joy.ClearFriendlyButtonNames();
    EXPECT_EQ(held, hooks.count - hooks.freed) << "failing " << failing;
    EXPECT_EQ(3, count) << "failing " << failing;
    EXPECT_EQ(2, named) << "failing " << failing;
  }
  EXPECT_TRUE(fakedi::Lines().empty()) << fakedi::LinesText();
}
