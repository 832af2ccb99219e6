// The joystick class against Wine's own DirectInput 7, where no joystick
// is attached: created, enumerated empty, and said so.
#include "tests/fakes/fake_dinput.h"

#include <gtest/gtest.h>

TEST(RealDirectInput, CreatesEnumeratesNothingAndSaysSo) {
  fakedi::Reset();
  fakedi::Install(/*fakeCreation=*/false);  // the real creation, lines recorded
  {
    CDIJoystick joy;
    EXPECT_NE(nullptr, joy.m_lpDI);
    EXPECT_TRUE(joy.m_bInitialised);
    EXPECT_TRUE(joy.m_bEnumerated);
    EXPECT_TRUE(joy.m_DeviceList.IsEmpty());
    EXPECT_TRUE(fakedi::Lines().empty()) << fakedi::LinesText();

    EXPECT_EQ(nullptr, joy.GetFirstJoystickID());
    ASSERT_EQ(1u, fakedi::Lines().size());
    EXPECT_EQ("Joysticks Have Been Enumerated However None Were Found Attached To This System\n"
              "Therefore I am Returning NULL from CDIJoystick::GetFirstJoystickID()\n",
              fakedi::Lines()[0]);
    EXPECT_EQ(nullptr, joy.GetNextJoystickID());

    // The statics were built the same way before main.
    EXPECT_NE(nullptr, g_Joystick[0].m_lpDI);
    EXPECT_NE(nullptr, g_Joystick[1].m_lpDI);
    EXPECT_NE(g_Joystick[0].m_lpDI, g_Joystick[1].m_lpDI);

    // No device: a poll reports the failed opening and reads nothing.
    fakedi::ClearLines();
    EXPECT_FALSE(joy.PollDevice());
    ASSERT_EQ(3u, fakedi::Lines().size()) << fakedi::LinesText();
    EXPECT_EQ("Failed To Initialise and Poll Joystick in CDIJoystick::PollDevice()\n",
              fakedi::Lines()[2]);
    EXPECT_EQ(-1, joy.GetPOVValue(0));
  }
  fakedi::Restore();
}
