// The device list and lifecycle against the fake: construction, both
// players' lists and cursors, lazy binding, opening, failures, Shutdown.
#include "tests/joystick/joystick_test_support.h"

#include <cstring>
#include <new>

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

TEST_F(JoystickTest, BothPlayersListTheSameSticksWithOwnCopiesAndCursors) {
  fakedi::AddJoystick(fakedi::MakeGuid(1), "Left Stick");
  fakedi::AddJoystick(fakedi::MakeGuid(2), "Right Stick");
  CDIJoystick& p0 = Rebuild(0);
  CDIJoystick& p1 = Rebuild(1);
  EXPECT_EQ(2u, fakedi::World().directInputs.size()) << "one interface per object";
  EXPECT_EQ(2, fakedi::OutstandingReferences());

  LPCDIDEVICEINSTANCEA a0 = p0.GetFirstJoystickID();
  LPCDIDEVICEINSTANCEA a1 = p1.GetFirstJoystickID();
  ASSERT_NE(nullptr, a0);
  ASSERT_NE(nullptr, a1);
  EXPECT_NE(a0, a1) << "each object keeps its own copy";
  EXPECT_EQ(0, std::memcmp(a0, a1, sizeof(DIDEVICEINSTANCEA)));
  // Walking one does not move the other.
  EXPECT_STREQ("Right Stick", p0.GetNextJoystickID()->tszProductName);
  EXPECT_EQ(nullptr, p0.GetNextJoystickID());
  EXPECT_STREQ("Right Stick", p1.GetNextJoystickID()->tszProductName);
  // A second enumeration appends the same sticks again, to that object only.
  EXPECT_TRUE(p1.Enumerate_Joysticks());
  int n0 = 0, n1 = 0;
  for (auto d = p0.GetFirstJoystickID(); d; d = p0.GetNextJoystickID()) ++n0;
  for (auto d = p1.GetFirstJoystickID(); d; d = p1.GetNextJoystickID()) ++n1;
  EXPECT_EQ(2, n0);
  EXPECT_EQ(4, n1);
}

TEST_F(JoystickTest, ConstructorZeroesEveryFieldOutsideStaticStorage) {
  fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  alignas(CDIJoystick) unsigned char storage[sizeof(CDIJoystick)];
  std::memset(storage, 0xbd, sizeof(storage));
  CDIJoystick* joy = new (storage) CDIJoystick();
  EXPECT_EQ(nullptr, joy->m_hCursor);
  EXPECT_EQ(nullptr, joy->m_hWnd);
  EXPECT_EQ(nullptr, joy->m_lpDIDevice);
  EXPECT_EQ(0u, joy->m_bForceFeedback);
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, joy->m_guidDevice));
  EXPECT_TRUE(joy->m_ButtonNames.IsEmpty());
  for (int i = 0; i < 256; ++i) ASSERT_EQ(0, joy->m_Buttons[i]) << "button " << i;
  const unsigned char* state = reinterpret_cast<const unsigned char*>(&joy->m_State);
  for (size_t i = 0; i < sizeof(DIJOYSTATE2); ++i) ASSERT_EQ(0, state[i]) << "state byte " << i;
  EXPECT_EQ(nullptr, joy->GetNextJoystickID()) << "the cursor starts before the first";
  joy->~CDIJoystick();
  EXPECT_EQ(0, fakedi::OutstandingReferences());
}

TEST_F(JoystickTest, SelectDeviceAndSetHWNDTakeEffectAtTheNextOpen) {
  fakedi::FakeJoystick& a = fakedi::AddJoystick(fakedi::MakeGuid(1), "A");
  fakedi::FakeJoystick& b = fakedi::AddJoystick(fakedi::MakeGuid(2), "B");
  CDIJoystick& joy = Rebuild(0);

  // Nothing open: selecting and binding only record.
  joy.SelectDevice(&a.guidInstance);
  EXPECT_EQ(0, fakedi::Calls(Method::CreateDeviceEx));
  EXPECT_TRUE(IsEqualGUID(a.guidInstance, joy.m_guidDevice));

  // No window bound: the desktop, which stays bound.
  ASSERT_TRUE(joy.InitDevice());
  EXPECT_EQ(GetDesktopWindow(), a.coopWindow);
  EXPECT_EQ(DWORD(DISCL_EXCLUSIVE | DISCL_BACKGROUND), a.coopFlags);
  EXPECT_EQ(GetDesktopWindow(), joy.m_hWnd);
  EXPECT_FALSE(a.IsAcquired()) << "InitDevice does not acquire";
  ASSERT_TRUE(joy.PollDevice() || joy.PollDevice());
  EXPECT_TRUE(a.IsAcquired());

  // Same GUID, same window: nothing happens.
  joy.SelectDevice(&a.guidInstance);
  joy.SetHWND(GetDesktopWindow());
  EXPECT_EQ(1, a.devicesCreated);
  EXPECT_EQ(0, a.Calls(Method::Release));
  EXPECT_TRUE(a.IsAcquired());

  // Another stick while open: the open one is let go at once, the next poll
  // opens the new one.
  joy.SelectDevice(&b.guidInstance);
  EXPECT_EQ(nullptr, joy.m_lpDIDevice);
  EXPECT_EQ(1, a.Calls(Method::Unacquire));
  EXPECT_EQ(1, a.Calls(Method::Release));
  EXPECT_EQ(1, fakedi::OutstandingReferences()) << "only the interface is held";
  EXPECT_FALSE(joy.PollDevice());
  EXPECT_TRUE(joy.PollDevice());
  EXPECT_EQ(1, b.devicesCreated);
  EXPECT_EQ(1, a.devicesCreated);

  // Another window while open: released, reopened against that window.
  HWND window = CreateWindowA("STATIC", "joystick test", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                              nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  joy.SetHWND(window);
  EXPECT_EQ(nullptr, joy.m_lpDIDevice);
  EXPECT_EQ(window, joy.m_hWnd);
  EXPECT_FALSE(joy.PollDevice());
  EXPECT_EQ(window, b.coopWindow);
  EXPECT_TRUE(joy.PollDevice());
  EXPECT_EQ(2, b.devicesCreated);
  EXPECT_EQ(2, fakedi::OutstandingReferences());
  EXPECT_EQ(0, fakedi::World().useAfterRelease);
  EXPECT_EQ(0, fakedi::World().overRelease);

  // Initialise forgets the window (a fresh interface replaces the old one).
  EXPECT_TRUE(joy.Initialise());
  EXPECT_EQ(nullptr, joy.m_hWnd);
  EXPECT_EQ(0u, fakedi::World().directInputs[0]->RefCount()) << "old interface released";
  DestroyWindow(window);
}

TEST_F(JoystickTest, InitDeviceConfiguresRangeDeadZoneSaturationAndForceFeedback) {
  fakedi::FakeJoystick& plain = fakedi::AddJoystick(fakedi::MakeGuid(1), "Plain");
  fakedi::FakeJoystick& wheel = fakedi::AddJoystick(fakedi::MakeGuid(2), "Wheel");
  wheel.forceFeedback = true;
  CDIJoystick& joy = Rebuild(0);

  joy.SelectDevice(&plain.guidInstance);
  ASSERT_TRUE(joy.InitDevice());
  EXPECT_TRUE(plain.dataFormatIsJoystick2);
  EXPECT_TRUE(plain.properties.rangeSet);
  EXPECT_EQ(-10000, plain.properties.rangeMin);
  EXPECT_EQ(10000, plain.properties.rangeMax);
  EXPECT_EQ(2000u, plain.properties.deadZone);
  EXPECT_EQ(9500u, plain.properties.saturation);
  EXPECT_EQ(16u, plain.properties.bufferSize);
  EXPECT_EQ(0, plain.properties.badHeaders);
  EXPECT_FALSE(plain.properties.autoCenterSet) << "no force feedback, no auto-centre";
  EXPECT_EQ(0u, joy.m_bForceFeedback);

  joy.SelectDevice(&wheel.guidInstance);
  ASSERT_TRUE(joy.InitDevice());
  EXPECT_EQ(DWORD(DIDC_FORCEFEEDBACK), joy.m_bForceFeedback);
  EXPECT_TRUE(wheel.properties.autoCenterSet);
  EXPECT_EQ(DWORD(DIPROPAUTOCENTER_OFF), wheel.properties.autoCenter);
  EXPECT_TRUE(fakedi::Lines().empty()) << fakedi::LinesText();
  EXPECT_EQ(2, fakedi::OutstandingReferences());
}

TEST_F(JoystickTest, EachOpeningFailureWritesExactlyItsLines) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  CDIJoystick& joy = Rebuild(0);
  const char* kCreateLine =
      "Failed to Create DI 7 interface to device in CDIJoystick::CreateDevice(GUID *guid)\n";
  const char* kInitCreate = "Failed to create device in CDIJoystick::InitDevice()\n";

  // Unknown (all zero) GUID: CreateDevice's line, InitDevice's, nothing open.
  EXPECT_FALSE(joy.InitDevice());
  EXPECT_EQ(L({kCreateLine, kInitCreate}), fakedi::Lines());
  EXPECT_EQ(nullptr, joy.m_lpDIDevice);

  joy.SelectDevice(&pad.guidInstance);
  struct Step {
    Method method;
    HRESULT hr;
    const char* line;
  } steps[] = {
      {Method::GetDeviceInfo, static_cast<HRESULT>(DIERR_UNPLUGGED), "Failed to obtain device info in CDIJoystick::InitDevice()\n"},
      {Method::SetDataFormat, static_cast<HRESULT>(DIERR_ACQUIRED), kInitCreate},
      {Method::SetCooperativeLevel, static_cast<HRESULT>(E_HANDLE), "Failed to set game device cooperative level.\n"},
      {Method::SetProperty, static_cast<HRESULT>(DIERR_READONLY), "Failed to set up Data Buffer property.\n"},
  };
  for (const Step& s : steps) {
    fakedi::ClearLines();
    pad.Fail(s.method, s.hr);
    EXPECT_FALSE(joy.InitDevice()) << fakedi::MethodName(s.method);
    EXPECT_EQ(L({s.line, CDIJoystick::GetDIErrorText(s.hr)}), fakedi::Lines())
        << fakedi::MethodName(s.method);
    EXPECT_NE(nullptr, joy.m_lpDIDevice) << "left open, partly configured";
  }
  // The axis properties and capabilities fail silently.
  for (int skip = 1; skip <= 3; ++skip) {
    fakedi::ClearLines();
    pad.Sequence(Method::SetProperty, {DI_OK});  // the buffer size
    for (int i = 1; i < skip; ++i) pad.Sequence(Method::SetProperty, {DI_OK});
    pad.Fail(Method::SetProperty, DIERR_INVALIDPARAM);
    EXPECT_FALSE(joy.InitDevice()) << "property " << skip;
    EXPECT_TRUE(fakedi::Lines().empty()) << fakedi::LinesText();
  }
  pad.Fail(Method::GetCapabilities, DIERR_GENERIC);
  EXPECT_FALSE(joy.InitDevice());
  EXPECT_TRUE(fakedi::Lines().empty()) << fakedi::LinesText();

  // CreateDeviceEx refused for a listed stick: no result text.
  pad.Fail(Method::CreateDeviceEx, DIERR_OUTOFMEMORY);
  EXPECT_FALSE(joy.InitDevice());
  EXPECT_EQ(L({kCreateLine, kInitCreate}), fakedi::Lines());
  EXPECT_EQ(nullptr, joy.m_lpDIDevice);

  // Acquire with nothing open, and a refused acquisition.
  fakedi::ClearLines();
  EXPECT_FALSE(joy.Acquire(true));
  EXPECT_EQ(L({"Error in CDIJoystick::Acquire(bool state)\nDevice Has Not Been Created.\n"}),
            fakedi::Lines());
  ASSERT_TRUE(joy.InitDevice());
  fakedi::ClearLines();
  pad.Fail(Method::Acquire, DIERR_OTHERAPPHASPRIO);
  EXPECT_FALSE(joy.Acquire(true));
  EXPECT_EQ(L({"Failed in CDIJoystick::Acquire(bool state)\n",
               CDIJoystick::GetDIErrorText(DIERR_OTHERAPPHASPRIO)}),
            fakedi::Lines());
  EXPECT_EQ(0, fakedi::World().useAfterRelease);
  EXPECT_EQ(2, fakedi::OutstandingReferences());
}

TEST_F(JoystickTest, WithoutDirectInputEveryRequestFailsWithItsLine) {
  fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  fakedi::World().createScript.hasSticky = true;
  fakedi::World().createScript.sticky = DIERR_OLDDIRECTINPUTVERSION;
  fakedi::RebuildJoystick(0);
  CDIJoystick& joy = g_Joystick[0];
  const char* kText = CDIJoystick::GetDIErrorText(DIERR_OLDDIRECTINPUTVERSION);
  // The constructor's Initialise, Enumerate_Joysticks' Initialise (the flag
  // is still clear) and its own last attempt.
  const char* kInit = "Failed To Initialise Direct Input 7 in CDIJoystick::Initialise\n";
  EXPECT_EQ(L({kInit, kText, kInit, kText, "Error in CDIJoystick::Enumerate_Joysticks()\n", kText}),
            fakedi::Lines());
  EXPECT_EQ(3, fakedi::Calls(Method::Create));
  EXPECT_EQ(nullptr, joy.m_lpDI);
  EXPECT_FALSE(joy.m_bEnumerated);

  fakedi::ClearLines();
  EXPECT_EQ(nullptr, joy.GetFirstJoystickID());
  EXPECT_EQ(L({"Joystick Have Not Yet Been Enumerated Returning NULL from "
               "CDIJoystick::GetFirstJoystickID()\n"}),
            fakedi::Lines());
  fakedi::ClearLines();
  EXPECT_FALSE(joy.PollDevice());
  EXPECT_EQ(L({"Failed to Create DI 7 interface to device in CDIJoystick::CreateDevice(GUID *guid) "
               "m_lpDI not initialised.\n",
               "Failed to create device in CDIJoystick::InitDevice()\n",
               "Failed To Initialise and Poll Joystick in CDIJoystick::PollDevice()\n"}),
            fakedi::Lines());

  // The enumeration itself failing: its line and text, the flag set anyway.
  fakedi::World().createScript.Clear();
  fakedi::World().enumScript.queue.push_back(DIERR_NOTINITIALIZED);
  fakedi::ClearLines();
  fakedi::RebuildJoystick(1);
  EXPECT_EQ(L({"Error in CDIJoystick::Enumerate_Joysticks()\n",
               CDIJoystick::GetDIErrorText(DIERR_NOTINITIALIZED)}),
            fakedi::Lines());
  EXPECT_TRUE(g_Joystick[1].m_bEnumerated);
}

TEST_F(JoystickTest, AllocationFailuresLoseOneStickAndLeakNothing) {
  fakedi::AddJoystick(fakedi::MakeGuid(1), "First");
  fakedi::AddJoystick(fakedi::MakeGuid(2), "Second");
  CDIJoystick& joy = Rebuild(0);
  DIDEVICEINSTANCEA extra;
  std::memset(&extra, 0xbd, sizeof(extra));
  extra.dwSize = sizeof(extra);

  fakedi::AllocationHooks& hooks = fakedi::Allocations();
  long long held = hooks.count - hooks.freed;
  hooks.failAfter = 0;  // the record itself: silent
  EXPECT_FALSE(joy.AddDeviceInfo(&extra));
  hooks.failAfter = 1;  // the list entry: reported, and the record freed
  EXPECT_FALSE(joy.AddDeviceInfo(&extra));
  EXPECT_EQ(L({"Failed To Add Device Info in CDIJoystick::AddDeviceInfo(LPCDIDEVICEINSTANCE lpddi)\n"}),
            fakedi::Lines());
  fakedi::ClearLines();
  EXPECT_EQ(held, hooks.count - hooks.freed) << "a failed append leaks its record";

  // A record declaring a short size is copied only that far, names terminated.
  DIDEVICEINSTANCEA shortRecord;
  std::memset(&shortRecord, 'x', sizeof(shortRecord));
  shortRecord.dwSize = 4 + 16;  // size and instance GUID only
  shortRecord.guidInstance = fakedi::MakeGuid(9);
  EXPECT_TRUE(joy.AddDeviceInfo(&shortRecord));
  LPCDIDEVICEINSTANCEA last = joy.GetFirstJoystickID();
  int count = 1;
  for (auto d = joy.GetNextJoystickID(); d; d = joy.GetNextJoystickID(), ++count) last = d;
  EXPECT_EQ(3, count);
  EXPECT_TRUE(IsEqualGUID(fakedi::MakeGuid(9), last->guidInstance));
  EXPECT_EQ('\0', last->tszProductName[0]) << "nothing read past the declared size";

  // A full-length unterminated name is cut inside the record.
  std::memset(&extra, 'n', sizeof(extra));
  extra.dwSize = sizeof(extra);
  EXPECT_TRUE(joy.AddDeviceInfo(&extra));
  for (auto d = joy.GetFirstJoystickID(); d; d = joy.GetNextJoystickID()) last = d;
  EXPECT_EQ(MAX_PATH - 1, static_cast<int>(strnlen(last->tszProductName, MAX_PATH)));
}

TEST_F(JoystickTest, ShutdownAndDestructionReleaseEveryReferenceAndRecord) {
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
  pad.AddButtons(4);
  fakedi::AllocationHooks& hooks = fakedi::Allocations();
  long long held = 0;
  {
    CDIJoystick joy;
    ASSERT_TRUE(OpenAndAcquire(joy, pad.guidInstance));
    EXPECT_EQ(4, joy.BuildFriendlyButtonNames());
    ASSERT_TRUE(OpenAndAcquire(joy, pad.guidInstance));
    EXPECT_EQ(2, fakedi::OutstandingReferences());
    EXPECT_NE(nullptr, joy.GetFirstJoystickID());

    // One record and its entry, four names and their entries.
    fakedi::ClearLines();
    held = hooks.count - hooks.freed;
    joy.Shutdown();
    EXPECT_EQ(held - 10, hooks.count - hooks.freed) << "records, names or entries not freed";
    EXPECT_EQ(0, fakedi::OutstandingReferences());
    EXPECT_EQ(0, fakedi::LiveObjects());
    EXPECT_FALSE(pad.IsAcquired());
    EXPECT_EQ(nullptr, joy.m_lpDI);
    EXPECT_EQ(nullptr, joy.m_lpDIDevice);
    EXPECT_FALSE(joy.m_bInitialised);
    EXPECT_TRUE(joy.m_ButtonNames.IsEmpty());
    EXPECT_EQ(nullptr, joy.GetNextJoystickID()) << "the cursor must not keep a freed entry";
    EXPECT_EQ(nullptr, joy.GetNextButtonName());
    fakedi::ClearLines();
    EXPECT_EQ(nullptr, joy.GetFirstJoystickID());
    EXPECT_EQ(L({"Joysticks Have Been Enumerated However None Were Found Attached To This "
                 "System\nTherefore I am Returning NULL from CDIJoystick::GetFirstJoystickID()\n"}),
              fakedi::Lines());
    EXPECT_FALSE(joy.PollDevice());
    EXPECT_EQ(0, fakedi::OutstandingReferences());

    // Opened again after Shutdown: the destructor still releases all.
    EXPECT_TRUE(joy.Initialise());
    EXPECT_TRUE(joy.Enumerate_Joysticks());
    ASSERT_TRUE(OpenAndAcquire(joy, pad.guidInstance));
    EXPECT_EQ(4, joy.BuildFriendlyButtonNames());
    EXPECT_EQ(2, fakedi::OutstandingReferences());
    fakedi::ClearLines();
    held = hooks.count - hooks.freed;
  }
  EXPECT_EQ(held - 10, hooks.count - hooks.freed) << "the destructor left allocations behind";
  EXPECT_EQ(0, fakedi::OutstandingReferences());
  EXPECT_EQ(0, fakedi::World().overRelease);
  EXPECT_EQ(0, fakedi::World().useAfterRelease);
}
