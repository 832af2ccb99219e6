// The device list and lifecycle against the fake: construction, both
// players' lists and cursors, lazy binding, opening, failures, Shutdown.
#include "tests/joystick/joystick_test_support.h"

#include <cstring>

using fakedi::Method;

TEST_F(JoystickTest, ConstructionCreatesTheInterfaceAndListsEveryAttachedStick) {
  fakedi::FakeJoystick& a = fakedi::AddJoystick(fakedi::MakeGuid(1), "Twin Pad");
  fakedi::FakeJoystick& b = fakedi::AddJoystick(fakedi::MakeGuid(2), "Twin Pad");
  fakedi::AddJoystick(fakedi::MakeGuid(3), "Unplugged").attached = false;
  CDIJoystick& joy = Rebuild(0);

  EXPECT_EQ(1, fakedi::Calls(Method::Create));
  EXPECT_EQ(0x0700u, fakedi::World().lastCreateVersion);
  EXPECT_TRUE(fakedi::World().lastCreateIidWas7A);
  EXPECT_EQ(GetModuleHandleA(nullptr), fakedi::World().lastCreateInstance);
  ASSERT_EQ(1u, fakedi::World().directInputs.size());
  EXPECT_EQ(DWORD(DIDEVTYPE_JOYSTICK), fakedi::World().directInputs[0]->lastEnumType);
  EXPECT_EQ(DWORD(DIEDFL_ATTACHEDONLY), fakedi::World().directInputs[0]->lastEnumFlags);
  EXPECT_TRUE(joy.m_bInitialised);
  EXPECT_TRUE(joy.m_bEnumerated);
  EXPECT_EQ(nullptr, joy.m_lpDIDevice) << "construction opens no device";
  EXPECT_EQ(1, fakedi::OutstandingReferences());

  // Same model twice: two records, enumeration order, distinct GUIDs.
  LPCDIDEVICEINSTANCEA first = joy.GetFirstJoystickID();
  ASSERT_NE(nullptr, first);
  EXPECT_TRUE(IsEqualGUID(a.guidInstance, first->guidInstance));
  EXPECT_STREQ("Twin Pad", first->tszProductName);
  EXPECT_EQ(DWORD(sizeof(DIDEVICEINSTANCEA)), first->dwSize);
  LPCDIDEVICEINSTANCEA second = joy.GetNextJoystickID();
  ASSERT_NE(nullptr, second);
  EXPECT_TRUE(IsEqualGUID(b.guidInstance, second->guidInstance));
  EXPECT_STREQ("Twin Pad", second->tszProductName);
  EXPECT_EQ(nullptr, joy.GetNextJoystickID());
  EXPECT_EQ(nullptr, joy.GetNextJoystickID()) << "stays at the end until restarted";
  EXPECT_EQ(first, joy.GetFirstJoystickID());
  EXPECT_TRUE(fakedi::Lines().empty()) << fakedi::LinesText();
}
