// A scripted DirectInput 7 for tests: fake IDirectInput7A / IDirectInputDevice7A
// objects, scripted joysticks and states, failure injection, call counts.
#pragma once

#include "joystick/di_joystick.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// How to use it (one test process, one thread):
//
//   fakedi::Reset();                            // forget joysticks, scripts, counts, lines
//   fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Pad");
//   pad.AddButtons(12);                         // buttons 0..11 named "Button 0".."Button 11"
//   fakedi::Install();                          // seams -> fake creation + line recorder
//   fakedi::RebuildJoystick(0);                 // g_Joystick[0] destroyed, rebuilt on the fake
//   g_Joystick[0].SelectDevice(&pad.guidInstance);
//   g_Joystick[0].PollDevice();                 // opens the device (false)
//   pad.SetAxis(0, 10000); pad.SetButton(3, true);
//   g_Joystick[0].PollDevice();                 // acquires and reads (true)
//   pad.Fail(fakedi::Method::GetDeviceState, DIERR_UNPLUGGED);   // next call fails
//   EXPECT_EQ(..., fakedi::Lines());            // every debug line written, in order
//   fakedi::Restore();                          // seams back to the real calls
//
// Fake COM objects are never freed (a released object stays readable and a
// call on it is counted in UseAfterRelease()), so g_Joystick may still hold
// them when the process exits. Everything here lives in one leaked record,
// fakedi::World(), reachable and resettable by tests.

namespace fakedi {

// Every scripted or counted operation. Create is DirectInputCreateEx itself.
enum class Method : int {
  Create,
  EnumDevices,
  CreateDeviceEx,
  GetCapabilities,
  SetProperty,
  SetDataFormat,
  SetCooperativeLevel,
  GetDeviceInfo,
  Acquire,
  Unacquire,
  Poll,
  GetDeviceState,
  GetObjectInfo,
  AddRef,
  Release,
  Other,  // any method the joystick class has no business calling
  Count
};
const char* MethodName(Method m);

// Results to return instead of the natural ones. Each call takes the next
// queued result; when the queue is empty the sticky result (if set) is
// used, else the method behaves naturally. A queued or sticky negative
// result makes the call fail without effect; a non-negative one makes it do
// its work (copy the state, fill the record) and return that code.
struct Script {
  std::deque<HRESULT> queue;
  bool hasSticky = false;
  HRESULT sticky = S_OK;
  // True (and *hr set) when a scripted result applies to this call.
  bool Take(HRESULT* hr);
  void Clear() { queue.clear(); hasSticky = false; }
};

struct FakeButton {
  int number;        // 0..127: offset DIJOFS_BUTTON(number)
  std::string name;  // delivered in tszName, cut at 260 bytes (unterminated if 260 or more)
};

// What the class set through SetProperty, last value of each kind.
struct PropertyLog {
  bool rangeSet = false;      LONG rangeMin = 0, rangeMax = 0;
  bool deadZoneSet = false;   DWORD deadZone = 0;
  bool saturationSet = false; DWORD saturation = 0;
  bool autoCenterSet = false; DWORD autoCenter = 0xdeadbeef;
  bool bufferSizeSet = false; DWORD bufferSize = 0;
  int otherSet = 0;           // any other property id
  int badHeaders = 0;         // a header with a wrong size, object or how
};

// One attached (or unplugged) joystick: its identity, objects, state, the
// failures it will report and the calls its device objects received.
struct FakeJoystick {
  GUID guidInstance{};
  GUID guidProduct{};
  std::string productName;   // tszProductName and tszInstanceName
  std::vector<FakeButton> buttons;
  DWORD axes = 2, hats = 1;  // reported by GetCapabilities only
  bool forceFeedback = false;
  bool attached = true;      // false: not enumerated, not creatable, Acquire says DIERR_UNPLUGGED
  DIJOYSTATE2 state;         // what GetDeviceState delivers (hats start centred: -1)

  Script scripts[static_cast<int>(Method::Count)];
  int calls[static_cast<int>(Method::Count)] = {};
  int devicesCreated = 0;
  PropertyLog properties;
  HWND coopWindow = nullptr; DWORD coopFlags = 0;  // last SetCooperativeLevel
  bool dataFormatIsJoystick2 = false;               // last SetDataFormat was c_dfDIJoystick2
  DWORD lastStateSize = 0;                          // cbData of the last GetDeviceState

  FakeJoystick();
  // Buttons 0..n-1 named "Button 0"...; AddButton for gaps and own names.
  void AddButtons(int n);
  void AddButton(int number, const std::string& name);
  // The state delivered by the next successful GetDeviceState.
  void SetAxis(int axis, LONG value);       // 0..7: lX lY lZ lRx lRy lRz slider0 slider1
  void SetHat(int hat, DWORD reading);      // hundredths of a degree, or 0xFFFFFFFF
  void SetButton(int button, bool pressed); // 0x80 or 0 in rgbButtons
  void ClearState();                        // axes 0, hats -1, buttons up
  // Every acquired device object of this joystick loses its acquisition:
  // Poll and GetDeviceState answer DIERR_INPUTLOST until it is reacquired.
  void LoseInput();

  void Fail(Method m, HRESULT hr, int times = 1);  // the next `times` calls
  void FailAlways(Method m, HRESULT hr);           // every call until Clear
  void Sequence(Method m, std::initializer_list<HRESULT> results);
  void ClearFailures();
  int Calls(Method m) const { return calls[static_cast<int>(m)]; }
  bool IsAcquired() const;  // some live device object of it is acquired
};

class FakeDevice;

// The fake IDirectInput7A. Created by FakeDirectInputCreateEx.
class FakeDirectInput : public IDirectInput7A {
 public:
  FakeDirectInput() = default;
  ULONG RefCount() const { return m_refs; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID, LPDIRECTINPUTDEVICEA*, LPUNKNOWN) override;
  HRESULT STDMETHODCALLTYPE EnumDevices(DWORD devType, LPDIENUMDEVICESCALLBACKA cb, LPVOID ref,
                                        DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetDeviceStatus(REFGUID) override;
  HRESULT STDMETHODCALLTYPE RunControlPanel(HWND, DWORD) override;
  HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD) override;
  HRESULT STDMETHODCALLTYPE FindDevice(REFGUID, LPCSTR, LPGUID) override;
  HRESULT STDMETHODCALLTYPE CreateDeviceEx(REFGUID rguid, REFIID riid, LPVOID* out,
                                           LPUNKNOWN outer) override;

  DWORD lastEnumType = 0, lastEnumFlags = 0;

 private:
  void Touch(Method m);
  ULONG m_refs = 1;
};

// The fake IDirectInputDevice7A for one FakeJoystick.
class FakeDevice : public IDirectInputDevice7A {
 public:
  explicit FakeDevice(FakeJoystick* joystick) : m_joystick(joystick) {}
  ULONG RefCount() const { return m_refs; }
  FakeJoystick* Joystick() const { return m_joystick; }
  bool acquired = false;
  bool inputLost = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetCapabilities(LPDIDEVCAPS caps) override;
  HRESULT STDMETHODCALLTYPE EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override;
  HRESULT STDMETHODCALLTYPE GetProperty(REFGUID, LPDIPROPHEADER) override;
  HRESULT STDMETHODCALLTYPE SetProperty(REFGUID prop, LPCDIPROPHEADER header) override;
  HRESULT STDMETHODCALLTYPE Acquire() override;
  HRESULT STDMETHODCALLTYPE Unacquire() override;
  HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) override;
  HRESULT STDMETHODCALLTYPE GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) override;
  HRESULT STDMETHODCALLTYPE SetEventNotification(HANDLE) override;
  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hwnd, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA info, DWORD obj,
                                          DWORD how) override;
  HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPDIDEVICEINSTANCEA info) override;
  HRESULT STDMETHODCALLTYPE RunControlPanel(HWND, DWORD) override;
  HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD, REFGUID) override;
  HRESULT STDMETHODCALLTYPE CreateEffect(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT*,
                                         LPUNKNOWN) override;
  HRESULT STDMETHODCALLTYPE EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD) override;
  HRESULT STDMETHODCALLTYPE GetEffectInfo(LPDIEFFECTINFOA, REFGUID) override;
  HRESULT STDMETHODCALLTYPE GetForceFeedbackState(LPDWORD) override;
  HRESULT STDMETHODCALLTYPE SendForceFeedbackCommand(DWORD) override;
  HRESULT STDMETHODCALLTYPE EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID,
                                                     DWORD) override;
  HRESULT STDMETHODCALLTYPE Escape(LPDIEFFESCAPE) override;
  HRESULT STDMETHODCALLTYPE Poll() override;
  HRESULT STDMETHODCALLTYPE SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID,
                                              DWORD) override;
  HRESULT STDMETHODCALLTYPE WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override;

 private:
  // Counts the call; true (and *hr set) when a scripted result applies.
  bool Scripted(Method m, HRESULT* hr);
  FakeJoystick* m_joystick;
  ULONG m_refs = 1;
};

// The one record of the fake: joysticks in enumeration order, every object
// created, interface-level scripts and counts, the recorded debug lines.
struct FakeWorld {
  std::vector<std::unique_ptr<FakeJoystick>> joysticks;
  std::vector<FakeDirectInput*> directInputs;  // created since Reset, in order
  std::vector<FakeDevice*> devices;            // created since Reset, in order
  Script createScript;                         // DirectInputCreateEx
  Script enumScript, createDeviceScript;       // of every FakeDirectInput
  int calls[static_cast<int>(Method::Count)] = {};  // all objects together
  int useAfterRelease = 0;                     // calls on objects with no reference left
  int overRelease = 0;                         // Release on an object already at 0
  std::vector<std::string> lines;              // debug output, one entry per write
  // Arguments of the last DirectInputCreateEx.
  HINSTANCE lastCreateInstance = nullptr;
  DWORD lastCreateVersion = 0;
  bool lastCreateIidWas7A = false;
  // Everything Reset abandons: never freed, so stale holders stay valid.
  std::vector<std::unique_ptr<FakeJoystick>> retiredJoysticks;
  std::vector<std::unique_ptr<FakeDirectInput>> ownedDirectInputs;
  std::vector<std::unique_ptr<FakeDevice>> ownedDevices;
};
FakeWorld& World();

// Forgets joysticks, scripts, counts and lines (objects still held by a
// CDIJoystick stay valid but are no longer counted as live).
void Reset();
// A joystick appended to the enumeration order.
FakeJoystick& AddJoystick(const GUID& instance, const char* productName);
// A distinct, recognisable instance GUID.
GUID MakeGuid(uint32_t n);

int Calls(Method m);               // over every fake object since Reset
LONG OutstandingReferences();      // references still held on objects created since Reset
int LiveObjects();                 // objects created since Reset with a reference left

// Debug lines recorded since Reset or ClearLines, in order.
const std::vector<std::string>& Lines();
std::string LinesText();           // all of them joined
void ClearLines();

// The creation seam: the fake's DirectInputCreateEx.
HRESULT WINAPI FakeDirectInputCreateEx(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);
// The debug seam: appends one line to World().lines.
void WINAPI RecordDebugOutput(LPCSTR text);
// Points g_pfnDirectInputCreateEx at the fake (unless fakeCreation is false:
// Wine's real DirectInput, lines still recorded) and g_pfnDebugOutput at the
// recorder, keeping the previous values for Restore.
void Install(bool fakeCreation = true);
void Restore();
// Destroys g_Joystick[player] in place and constructs it again, so that it
// creates its interface and enumerates through the seams now installed.
void RebuildJoystick(int player);

// Allocation hooks (operator new replaced in every program linking this
// library): counts allocations and fails one on request. Arm them only
// around the call under test; the test framework allocates too.
// The fake's own allocations and frees (its objects, recorded lines) are
// neither counted nor failed, so count - freed measures the code under test.
struct AllocationHooks {
  long long count = 0;    // allocations handed out (operator new of any form)
  long long failed = 0;   // allocations refused by failAfter
  long long freed = 0;    // operator delete calls with a non-null pointer
  int failAfter = -1;     // >= 0: that many allocations succeed, the next fails (once)
  int suspended = 0;      // > 0: inside the fake (see SuspendAllocationHooks)
};
AllocationHooks& Allocations();
struct SuspendAllocationHooks {
  SuspendAllocationHooks() { ++Allocations().suspended; }
  ~SuspendAllocationHooks() { --Allocations().suspended; }
};

// Install() for a scope, Restore() at its end (objects rebuilt meanwhile
// keep the fake interfaces, which stay valid).
class ScopedFake {
 public:
  ScopedFake() { Install(); }
  ~ScopedFake() { Restore(); }
  ScopedFake(const ScopedFake&) = delete;
  ScopedFake& operator=(const ScopedFake&) = delete;
};

}  // namespace fakedi
