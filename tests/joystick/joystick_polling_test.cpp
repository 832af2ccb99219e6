// PollDevice against the fake: opening and acquiring, the state read, the
// retries, each failure's lines, the queries, and a poll's allocations.
#include "tests/joystick/joystick_test_support.h"

using fakedi::Method;

namespace {

const char* const kNotAcquiredLine =
    "Device Not Acquired Trying Again immediate CDIJoystick::PollDevice()\n";
const char* const kPollFailedLine = "Failed To Poll Joystick in CDIJoystick::PollDevice()\n";
const char* const kQuitLine =
    "Unable to obtain Immediate Data from Device in CDIJoystick::PollDevice() Quitting\n";

void ExpectClearedState(const CDIJoystick& joy, const char* when) {
  for (int axis = 0; axis < 8; ++axis) EXPECT_EQ(0, joy.GetAxisValue(axis)) << when << " axis " << axis;
  for (int hat = 0; hat < 4; ++hat) EXPECT_EQ(-1, joy.GetPOVValue(hat)) << when << " hat " << hat;
}

}  // namespace

TEST_F(JoystickTest, FirstPollOpensTheSecondAcquiresAndReads) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  for (int axis = 0; axis < 8; ++axis) pad.SetAxis(axis, (axis + 1) * 1000 * (axis % 2 ? -1 : 1));
  pad.SetHat(0, 9000);
  pad.SetHat(3, 31500);
  pad.SetButton(0, true);
  pad.SetButton(127, true);
  CDIJoystick& joy = Rebuild(0);
  joy.SelectDevice(&pad.guidInstance);

  EXPECT_FALSE(joy.PollDevice()) << "a poll that opens the device reads nothing";
  EXPECT_TRUE(fakedi::Lines().empty()) << fakedi::LinesText();
  EXPECT_NE(nullptr, joy.m_lpDIDevice);
  EXPECT_FALSE(pad.IsAcquired());
  ExpectClearedState(joy, "after opening");
  EXPECT_EQ(0, joy.m_Buttons[0]);

  EXPECT_TRUE(joy.PollDevice());
  EXPECT_EQ(L({kPollFailedLine, CDIJoystick::GetDIErrorText(DIERR_NOTACQUIRED), kNotAcquiredLine}),
            fakedi::Lines());
  EXPECT_TRUE(pad.IsAcquired());
  EXPECT_EQ(DWORD(sizeof(DIJOYSTATE2)), pad.lastStateSize);
  for (int axis = 0; axis < 8; ++axis) {
    EXPECT_EQ((axis + 1) * 1000 * (axis % 2 ? -1 : 1), joy.GetAxisValue(axis)) << "axis " << axis;
  }
  EXPECT_EQ(9000, joy.GetPOVValue(0));
  EXPECT_EQ(-1, joy.GetPOVValue(1));
  EXPECT_EQ(31500, joy.GetPOVValue(3));
  EXPECT_EQ(1, joy.m_Buttons[0]);
  EXPECT_EQ(0, joy.m_Buttons[1]);
  EXPECT_EQ(1, joy.m_Buttons[127]);
  for (int i = 128; i < 256; ++i) ASSERT_EQ(0, joy.m_Buttons[i]) << "button " << i;

  // Acquired: later polls write nothing.
  fakedi::ClearLines();
  EXPECT_TRUE(joy.PollDevice());
  EXPECT_TRUE(fakedi::Lines().empty()) << fakedi::LinesText();
}

TEST_F(JoystickTest, ButtonFlagsSurviveFailedPollsWhileAxesRestAndHatsCentre) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  CDIJoystick& joy = Rebuild(0);
  pad.SetButton(3, true);
  pad.SetButton(64, true);
  pad.SetAxis(0, -10000);
  pad.SetHat(0, 0);
  ASSERT_TRUE(OpenAndAcquire(joy, pad.guidInstance));
  EXPECT_EQ(0, joy.GetPOVValue(0)) << "hat up, really";

  pad.Fail(Method::GetDeviceState, DIERR_UNPLUGGED);
  EXPECT_FALSE(joy.PollDevice());
  EXPECT_EQ(L({kQuitLine}), fakedi::Lines());
  ExpectClearedState(joy, "after a failed read");
  EXPECT_EQ(1, joy.m_Buttons[3]);
  EXPECT_EQ(1, joy.m_Buttons[64]);
  EXPECT_STREQ("Idle", joy.GetPOVDirectionName(joy.GetPOVValue(0)));

  // Any other read failure the same way.
  pad.Fail(Method::GetDeviceState, DIERR_GENERIC);
  pad.SetButton(3, false);
  EXPECT_FALSE(joy.PollDevice());
  ExpectClearedState(joy, "after a second failed read");
  EXPECT_EQ(1, joy.m_Buttons[3]) << "flags change only at successful polls";

  EXPECT_TRUE(joy.PollDevice());
  EXPECT_EQ(0, joy.m_Buttons[3]);
  EXPECT_EQ(1, joy.m_Buttons[64]);
  EXPECT_EQ(0, joy.m_Buttons[200]);
}

TEST_F(JoystickTest, QueriesOutsideTheirRangesAndTheNameTables) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  CDIJoystick& joy = Rebuild(0);
  pad.SetAxis(7, 1234);
  pad.SetHat(0, 0x0000FFFFu);   // centred as some drivers report it
  pad.SetHat(1, 0x1234FFFFu);
  pad.SetHat(2, 27000);
  pad.SetHat(3, 0xFFFF0000u);   // only the high word set: a reading, not centred
  ASSERT_TRUE(OpenAndAcquire(joy, pad.guidInstance));
  EXPECT_EQ(1234, joy.GetAxisValue(7));
  EXPECT_EQ(0, joy.GetAxisValue(8));
  EXPECT_EQ(0, joy.GetAxisValue(-1));
  EXPECT_EQ(-1, joy.GetPOVValue(0));
  EXPECT_EQ(-1, joy.GetPOVValue(1));
  EXPECT_EQ(27000, joy.GetPOVValue(2));
  EXPECT_EQ(static_cast<int32_t>(0xFFFF0000u), joy.GetPOVValue(3));
  EXPECT_EQ(-1, joy.GetPOVValue(4));
  EXPECT_EQ(-1, joy.GetPOVValue(-1));

  const char* axes[] = {"X Axis", "Y Axis", "Z Axis", "Rotate X Axis", "Rotate Y Axis",
                        "Rudder", "Slider X Axis", "Slider Y Axis"};
  for (int axis = 0; axis < 8; ++axis) EXPECT_STREQ(axes[axis], joy.GetAxisName(axis));
  EXPECT_EQ(nullptr, joy.GetAxisName(8));
  EXPECT_EQ(nullptr, joy.GetAxisName(-1));
  const struct { int32_t reading; const char* name; } hats[] = {
      {-1, "Idle"},        {0, "Up"},       {4500, "Up-Right"},   {9000, "Right"},
      {13500, "Down-Right"}, {18000, "Down"}, {22500, "Down-Left"}, {27000, "Left"},
      {31500, "Up-Left"}};
  for (const auto& h : hats) EXPECT_STREQ(h.name, joy.GetPOVDirectionName(h.reading));
  EXPECT_EQ(nullptr, joy.GetPOVDirectionName(4501)) << "no nearest match";
  EXPECT_EQ(nullptr, joy.GetPOVDirectionName(36000));
  EXPECT_EQ(nullptr, joy.GetPOVDirectionName(-2));
}

TEST_F(JoystickTest, LostInputIsReacquiredAndTheRetryCountIsPerPoll) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  CDIJoystick& joy = Rebuild(0);
  pad.SetButton(1, true);
  ASSERT_TRUE(OpenAndAcquire(joy, pad.guidInstance));

  const char* lost = CDIJoystick::GetDIErrorText(DIERR_INPUTLOST);
  pad.LoseInput();
  EXPECT_TRUE(joy.PollDevice());
  EXPECT_EQ(L({kPollFailedLine, lost,
               "Failed To Obtain Immediate Device State in CDIJoystick::PollDevice()\n", lost}),
            fakedi::Lines());
  EXPECT_EQ(1, g_nPollRetries);

  // Far more re-acquisitions over a run than one poll may retry: the
  // joystick keeps working.
  for (int i = 0; i < 50; ++i) {
    pad.LoseInput();
    ASSERT_TRUE(joy.PollDevice()) << "poll " << i;
    pad.Fail(Method::GetDeviceState, DIERR_NOTACQUIRED);
    ASSERT_TRUE(joy.PollDevice()) << "poll " << i;
  }
  EXPECT_EQ(1, joy.m_Buttons[1]);

  // Within one poll the retries stop after 21.
  fakedi::ClearLines();
  int readsBefore = pad.Calls(Method::GetDeviceState);
  pad.FailAlways(Method::GetDeviceState, DIERR_NOTACQUIRED);
  EXPECT_FALSE(joy.PollDevice());
  EXPECT_EQ(21, pad.Calls(Method::GetDeviceState) - readsBefore);
  EXPECT_EQ(21, g_nPollRetries);
  ASSERT_EQ(21u, fakedi::Lines().size());
  EXPECT_EQ(kNotAcquiredLine, fakedi::Lines().back());
  ExpectClearedState(joy, "after the retries ran out");
  pad.ClearFailures();
  EXPECT_TRUE(joy.PollDevice()) << "the next poll starts counting again";
}

TEST_F(JoystickTest, FailedReacquisitionEndsThePollWithItsLines) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  CDIJoystick& joy = Rebuild(0);
  ASSERT_TRUE(OpenAndAcquire(joy, pad.guidInstance));
  const char* lost = CDIJoystick::GetDIErrorText(DIERR_INPUTLOST);
  const char* acquireLine = "Failed in CDIJoystick::Acquire(bool state)\n";

  pad.LoseInput();
  pad.Fail(Method::Acquire, DIERR_OTHERAPPHASPRIO);
  EXPECT_FALSE(joy.PollDevice());
  EXPECT_EQ(L({kPollFailedLine, lost,
               "Failed To Obtain Immediate Device State in CDIJoystick::PollDevice()\n", lost,
               acquireLine, CDIJoystick::GetDIErrorText(DIERR_OTHERAPPHASPRIO), kQuitLine}),
            fakedi::Lines());
  ExpectClearedState(joy, "after a refused re-acquisition");
  pad.ClearFailures();
  EXPECT_TRUE(joy.PollDevice()) << "the next poll acquires again";

  // Unplugged while not acquired: the not-acquired path and its own quit line.
  fakedi::ClearLines();
  joy.Acquire(false);
  pad.attached = false;
  EXPECT_FALSE(joy.PollDevice());
  EXPECT_EQ(L({kPollFailedLine, CDIJoystick::GetDIErrorText(DIERR_NOTACQUIRED), kNotAcquiredLine,
               acquireLine, CDIJoystick::GetDIErrorText(DIERR_UNPLUGGED),
               "Unable to acquire Immediate Device in CDIJoystick::PollDevice() Quitting\n"}),
            fakedi::Lines());
  ExpectClearedState(joy, "after an unplugged stick");

  // A device that cannot be opened: every poll says so, after InitDevice's lines.
  fakedi::ClearLines();
  joy.SelectDevice(&pad.guidInstance);  // same GUID: stays open
  EXPECT_NE(nullptr, joy.m_lpDIDevice);
  GUID unknown = fakedi::MakeGuid(77);
  joy.SelectDevice(&unknown);
  fakedi::ClearLines();
  EXPECT_FALSE(joy.PollDevice());
  EXPECT_EQ(L({"Failed to Create DI 7 interface to device in CDIJoystick::CreateDevice(GUID *guid)\n",
               "Failed to create device in CDIJoystick::InitDevice()\n",
               "Failed To Initialise and Poll Joystick in CDIJoystick::PollDevice()\n"}),
            fakedi::Lines());
  ExpectClearedState(joy, "with no device");
}

TEST_F(JoystickTest, AcquireSetsACursorOnlyWhenOneIsGiven) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  CDIJoystick& joy = Rebuild(0);
  HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  HCURSOR cross = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_CROSS));
  ASSERT_NE(nullptr, arrow);
  SetCursor(arrow);
  ASSERT_TRUE(OpenAndAcquire(joy, pad.guidInstance));
  EXPECT_EQ(arrow, GetCursor()) << "an acquisition must not hide the pointer";
  joy.m_hCursor = cross;
  ASSERT_TRUE(joy.Acquire(false));
  ASSERT_TRUE(joy.Acquire(true));
  EXPECT_EQ(cross, GetCursor());
  SetCursor(arrow);
}

TEST_F(JoystickTest, APollAllocatesNothing) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  CDIJoystick& joy = Rebuild(0);
  ASSERT_TRUE(OpenAndAcquire(joy, pad.guidInstance));
  fakedi::AllocationHooks& hooks = fakedi::Allocations();
  long long before = hooks.count;
  int read = 0;
  for (int i = 0; i < 1000; ++i) {
    pad.SetButton(i % 128, (i & 1) != 0);
    read += joy.PollDevice();
  }
  long long allocated = hooks.count - before;
  EXPECT_EQ(0, allocated);
  EXPECT_EQ(1000, read);
}
