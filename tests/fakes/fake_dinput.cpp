// The scripted DirectInput 7 behind tests/fakes/fake_dinput.h: the two fake
// interfaces, the joystick scripts, the seams and the rebuild helper.
#include "tests/fakes/fake_dinput.h"

#include <cstring>
#include <new>

namespace fakedi {

namespace {

FakeWorld* g_pWorld = nullptr;  // leaked on purpose: g_Joystick outlives every test
DirectInputCreateExFn g_pfnSavedCreate = nullptr;
DebugOutputFn g_pfnSavedDebug = nullptr;
bool g_bInstalled = false;

int Index(Method m) { return static_cast<int>(m); }

void CountWorld(Method m) { ++World().calls[Index(m)]; }

void FillInstance(const FakeJoystick& joy, DIDEVICEINSTANCEA* out) {
  std::memset(out, 0, sizeof(*out));
  out->dwSize = sizeof(*out);
  out->guidInstance = joy.guidInstance;
  out->guidProduct = joy.guidProduct;
  out->dwDevType = DIDEVTYPE_JOYSTICK | (DIDEVTYPEJOYSTICK_TRADITIONAL << 8);
  std::strncpy(out->tszInstanceName, joy.productName.c_str(), sizeof(out->tszInstanceName) - 1);
  std::strncpy(out->tszProductName, joy.productName.c_str(), sizeof(out->tszProductName) - 1);
}

FakeJoystick* FindAttached(const GUID& guid) {
  for (auto& joy : World().joysticks) {
    if (joy->attached && IsEqualGUID(joy->guidInstance, guid)) return joy.get();
  }
  return nullptr;
}

bool HeaderOk(LPCDIPROPHEADER h, DWORD size) {
  return h->dwSize == size && h->dwHeaderSize == sizeof(DIPROPHEADER) && h->dwObj == 0 &&
         h->dwHow == DIPH_DEVICE;
}

}  // namespace

const char* MethodName(Method m) {
  static const char* const kNames[] = {
      "Create",        "EnumDevices", "CreateDeviceEx", "GetCapabilities",
      "SetProperty",   "SetDataFormat", "SetCooperativeLevel", "GetDeviceInfo",
      "Acquire",       "Unacquire",   "Poll",           "GetDeviceState",
      "GetObjectInfo", "AddRef",      "Release",        "Other"};
  int i = Index(m);
  return i >= 0 && i < Index(Method::Count) ? kNames[i] : "?";
}

bool Script::Take(HRESULT* hr) {
  if (!queue.empty()) {
    *hr = queue.front();
    queue.pop_front();
    return true;
  }
  if (hasSticky) {
    *hr = sticky;
    return true;
  }
  return false;
}

// ---- FakeJoystick ----

FakeJoystick::FakeJoystick() { ClearState(); }

void FakeJoystick::AddButtons(int n) {
  for (int i = 0; i < n; ++i) AddButton(i, "Button " + std::to_string(i));
}

void FakeJoystick::AddButton(int number, const std::string& name) {
  buttons.push_back(FakeButton{number, name});
}

void FakeJoystick::SetAxis(int axis, LONG value) {
  LONG* axes[8] = {&state.lX, &state.lY, &state.lZ, &state.lRx,
                   &state.lRy, &state.lRz, &state.rglSlider[0], &state.rglSlider[1]};
  if (axis >= 0 && axis < 8) *axes[axis] = value;
}

void FakeJoystick::SetHat(int hat, DWORD reading) {
  if (hat >= 0 && hat < 4) state.rgdwPOV[hat] = reading;
}

void FakeJoystick::SetButton(int button, bool pressed) {
  if (button >= 0 && button < 128) state.rgbButtons[button] = pressed ? 0x80 : 0;
}

void FakeJoystick::ClearState() {
  std::memset(&state, 0, sizeof(state));
  for (DWORD& pov : state.rgdwPOV) pov = 0xFFFFFFFFu;
}

void FakeJoystick::LoseInput() {
  for (FakeDevice* dev : World().devices) {
    if (dev->Joystick() == this && dev->acquired) {
      dev->acquired = false;
      dev->inputLost = true;
    }
  }
}

void FakeJoystick::Fail(Method m, HRESULT hr, int times) {
  for (int i = 0; i < times; ++i) scripts[Index(m)].queue.push_back(hr);
}

void FakeJoystick::FailAlways(Method m, HRESULT hr) {
  scripts[Index(m)].hasSticky = true;
  scripts[Index(m)].sticky = hr;
}

void FakeJoystick::Sequence(Method m, std::initializer_list<HRESULT> results) {
  for (HRESULT hr : results) scripts[Index(m)].queue.push_back(hr);
}

void FakeJoystick::ClearFailures() {
  for (Script& s : scripts) s.Clear();
}

bool FakeJoystick::IsAcquired() const {
  for (FakeDevice* dev : World().devices) {
    if (dev->Joystick() == this && dev->RefCount() > 0 && dev->acquired) return true;
  }
  return false;
}

// ---- FakeDirectInput ----

void FakeDirectInput::Touch(Method m) {
  CountWorld(m);
  if (m_refs == 0) ++World().useAfterRelease;
}

HRESULT FakeDirectInput::QueryInterface(REFIID riid, void** out) {
  Touch(Method::Other);
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirectInputA) ||
      IsEqualIID(riid, IID_IDirectInput2A) || IsEqualIID(riid, IID_IDirectInput7A)) {
    *out = this;
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG FakeDirectInput::AddRef() {
  Touch(Method::AddRef);
  return ++m_refs;
}

ULONG FakeDirectInput::Release() {
  CountWorld(Method::Release);
  if (m_refs == 0) {
    ++World().overRelease;
    return 0;
  }
  return --m_refs;
}

HRESULT FakeDirectInput::CreateDevice(REFGUID, LPDIRECTINPUTDEVICEA*, LPUNKNOWN) {
  Touch(Method::Other);
  return E_NOTIMPL;
}

HRESULT FakeDirectInput::EnumDevices(DWORD devType, LPDIENUMDEVICESCALLBACKA cb, LPVOID ref,
                                     DWORD flags) {
  Touch(Method::EnumDevices);
  lastEnumType = devType;
  lastEnumFlags = flags;
  HRESULT hr;
  if (World().enumScript.Take(&hr) && FAILED(hr)) return hr;
  if (cb == nullptr) return DIERR_INVALIDPARAM;
  if (devType != 0 && GET_DIDEVICE_TYPE(devType) != DIDEVTYPE_JOYSTICK) return DI_OK;
  // Taken first, without allocating (the callback's allocations are the
  // class's own): a callback that adds joysticks does not see them.
  FakeJoystick* order[64];
  size_t n = 0;
  for (auto& joy : World().joysticks) {
    if (n < 64 && (joy->attached || !(flags & DIEDFL_ATTACHEDONLY))) order[n++] = joy.get();
  }
  for (size_t i = 0; i < n; ++i) {
    DIDEVICEINSTANCEA inst;
    FillInstance(*order[i], &inst);
    if (cb(&inst, ref) != DIENUM_CONTINUE) break;
  }
  return DI_OK;
}

HRESULT FakeDirectInput::GetDeviceStatus(REFGUID) { Touch(Method::Other); return E_NOTIMPL; }
HRESULT FakeDirectInput::RunControlPanel(HWND, DWORD) { Touch(Method::Other); return E_NOTIMPL; }
HRESULT FakeDirectInput::Initialize(HINSTANCE, DWORD) { Touch(Method::Other); return E_NOTIMPL; }
HRESULT FakeDirectInput::FindDevice(REFGUID, LPCSTR, LPGUID) {
  Touch(Method::Other);
  return E_NOTIMPL;
}

HRESULT FakeDirectInput::CreateDeviceEx(REFGUID rguid, REFIID riid, LPVOID* out, LPUNKNOWN) {
  SuspendAllocationHooks inFake;
  Touch(Method::CreateDeviceEx);
  if (out == nullptr) return DIERR_INVALIDPARAM;
  *out = nullptr;
  FakeJoystick* joy = FindAttached(rguid);
  if (joy != nullptr) ++joy->calls[Index(Method::CreateDeviceEx)];
  HRESULT hr = DI_OK;
  if (World().createDeviceScript.Take(&hr) && FAILED(hr)) return hr;
  if (joy != nullptr && joy->scripts[Index(Method::CreateDeviceEx)].Take(&hr) && FAILED(hr)) {
    return hr;
  }
  if (!IsEqualIID(riid, IID_IDirectInputDevice7A)) return E_NOINTERFACE;
  if (joy == nullptr) return DIERR_DEVICENOTREG;
  auto dev = std::make_unique<FakeDevice>(joy);
  *out = static_cast<IDirectInputDevice7A*>(dev.get());
  World().devices.push_back(dev.get());
  World().ownedDevices.push_back(std::move(dev));
  ++joy->devicesCreated;
  return hr;
}

// ---- FakeDevice ----

bool FakeDevice::Scripted(Method m, HRESULT* hr) {
  CountWorld(m);
  ++m_joystick->calls[Index(m)];
  if (m_refs == 0) ++World().useAfterRelease;
  return m_joystick->scripts[Index(m)].Take(hr);
}

HRESULT FakeDevice::QueryInterface(REFIID riid, void** out) {
  CountWorld(Method::Other);
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDirectInputDeviceA) ||
      IsEqualIID(riid, IID_IDirectInputDevice2A) || IsEqualIID(riid, IID_IDirectInputDevice7A)) {
    *out = this;
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG FakeDevice::AddRef() {
  CountWorld(Method::AddRef);
  ++m_joystick->calls[Index(Method::AddRef)];
  if (m_refs == 0) ++World().useAfterRelease;
  return ++m_refs;
}

ULONG FakeDevice::Release() {
  CountWorld(Method::Release);
  ++m_joystick->calls[Index(Method::Release)];
  if (m_refs == 0) {
    ++World().overRelease;
    return 0;
  }
  if (--m_refs == 0) acquired = false;  // a released device gives its acquisition up
  return m_refs;
}

HRESULT FakeDevice::GetCapabilities(LPDIDEVCAPS caps) {
  HRESULT hr = DI_OK;
  bool scripted = Scripted(Method::GetCapabilities, &hr);
  if (scripted && FAILED(hr)) return hr;
  if (caps == nullptr || caps->dwSize != sizeof(DIDEVCAPS)) return DIERR_INVALIDPARAM;
  caps->dwFlags = DIDC_ATTACHED | (m_joystick->forceFeedback ? DIDC_FORCEFEEDBACK : 0);
  caps->dwDevType = DIDEVTYPE_JOYSTICK | (DIDEVTYPEJOYSTICK_TRADITIONAL << 8);
  caps->dwAxes = m_joystick->axes;
  caps->dwButtons = static_cast<DWORD>(m_joystick->buttons.size());
  caps->dwPOVs = m_joystick->hats;
  return hr;
}

HRESULT FakeDevice::SetProperty(REFGUID prop, LPCDIPROPHEADER header) {
  HRESULT hr = DI_OK;
  bool scripted = Scripted(Method::SetProperty, &hr);
  if (scripted && FAILED(hr)) return hr;
  if (header == nullptr) return DIERR_INVALIDPARAM;
  PropertyLog& log = m_joystick->properties;
  // The DIPROP_* ids are small integers disguised as GUID references.
  const GUID* id = &prop;
  if (id == &DIPROP_RANGE) {
    if (!HeaderOk(header, sizeof(DIPROPRANGE))) { ++log.badHeaders; return DIERR_INVALIDPARAM; }
    const DIPROPRANGE* r = reinterpret_cast<const DIPROPRANGE*>(header);
    log.rangeSet = true; log.rangeMin = r->lMin; log.rangeMax = r->lMax;
    return hr;
  }
  if (!HeaderOk(header, sizeof(DIPROPDWORD))) { ++log.badHeaders; return DIERR_INVALIDPARAM; }
  DWORD value = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
  if (id == &DIPROP_DEADZONE) { log.deadZoneSet = true; log.deadZone = value; }
  else if (id == &DIPROP_SATURATION) { log.saturationSet = true; log.saturation = value; }
  else if (id == &DIPROP_AUTOCENTER) { log.autoCenterSet = true; log.autoCenter = value; }
  else if (id == &DIPROP_BUFFERSIZE) { log.bufferSizeSet = true; log.bufferSize = value; }
  else ++log.otherSet;
  return hr;
}

HRESULT FakeDevice::Acquire() {
  HRESULT hr = DI_OK;
  bool scripted = Scripted(Method::Acquire, &hr);
  if (scripted && FAILED(hr)) return hr;
  if (!scripted) {
    if (!m_joystick->attached) return DIERR_UNPLUGGED;
    if (!m_joystick->dataFormatIsJoystick2) return DIERR_INVALIDPARAM;  // no data format yet
    if (acquired) return DI_NOEFFECT;
  }
  acquired = true;
  inputLost = false;
  return hr;
}

HRESULT FakeDevice::Unacquire() {
  HRESULT hr = DI_OK;
  bool scripted = Scripted(Method::Unacquire, &hr);
  if (scripted && FAILED(hr)) return hr;
  if (!scripted && !acquired) return DI_NOEFFECT;
  acquired = false;
  return hr;
}

HRESULT FakeDevice::GetDeviceState(DWORD size, LPVOID data) {
  HRESULT hr = DI_OK;
  bool scripted = Scripted(Method::GetDeviceState, &hr);
  m_joystick->lastStateSize = size;
  if (scripted && FAILED(hr)) return hr;
  if (data == nullptr || size != sizeof(DIJOYSTATE2)) return DIERR_INVALIDPARAM;
  if (!scripted) {
    if (inputLost) return DIERR_INPUTLOST;
    if (!acquired) return DIERR_NOTACQUIRED;
  }
  std::memcpy(data, &m_joystick->state, sizeof(DIJOYSTATE2));
  return hr;
}

HRESULT FakeDevice::SetDataFormat(LPCDIDATAFORMAT format) {
  HRESULT hr = DI_OK;
  bool scripted = Scripted(Method::SetDataFormat, &hr);
  if (scripted && FAILED(hr)) return hr;
  if (!scripted && acquired) return DIERR_ACQUIRED;
  m_joystick->dataFormatIsJoystick2 = format == &c_dfDIJoystick2;
  return hr;
}

HRESULT FakeDevice::SetCooperativeLevel(HWND hwnd, DWORD flags) {
  HRESULT hr = DI_OK;
  bool scripted = Scripted(Method::SetCooperativeLevel, &hr);
  if (scripted && FAILED(hr)) return hr;
  if (!scripted && acquired) return DIERR_ACQUIRED;
  m_joystick->coopWindow = hwnd;
  m_joystick->coopFlags = flags;
  return hr;
}

HRESULT FakeDevice::GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA info, DWORD obj, DWORD how) {
  HRESULT hr = DI_OK;
  bool scripted = Scripted(Method::GetObjectInfo, &hr);
  if (scripted && FAILED(hr)) return hr;
  if (info == nullptr || info->dwSize != sizeof(DIDEVICEOBJECTINSTANCEA)) {
    return DIERR_INVALIDPARAM;
  }
  if (how != DIPH_BYOFFSET) return DIERR_UNSUPPORTED;
  for (const FakeButton& b : m_joystick->buttons) {
    if (static_cast<DWORD>(DIJOFS_BUTTON(b.number)) != obj) continue;
    info->guidType = GUID_Button;
    info->dwOfs = obj;
    info->dwType = DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(b.number);
    // Cut at the buffer, unterminated when the name fills it: the class must bound its copy.
    size_t len = b.name.size();
    if (len < sizeof(info->tszName)) std::memcpy(info->tszName, b.name.c_str(), len + 1);
    else std::memcpy(info->tszName, b.name.data(), sizeof(info->tszName));
    return hr;
  }
  return DIERR_OBJECTNOTFOUND;
}

HRESULT FakeDevice::GetDeviceInfo(LPDIDEVICEINSTANCEA info) {
  HRESULT hr = DI_OK;
  bool scripted = Scripted(Method::GetDeviceInfo, &hr);
  if (scripted && FAILED(hr)) return hr;
  if (info == nullptr || info->dwSize != sizeof(DIDEVICEINSTANCEA)) return DIERR_INVALIDPARAM;
  FillInstance(*m_joystick, info);
  return hr;
}

HRESULT FakeDevice::Poll() {
  HRESULT hr = DI_NOEFFECT;  // a device that needs no polling
  bool scripted = Scripted(Method::Poll, &hr);
  if (scripted) return hr;
  if (inputLost) return DIERR_INPUTLOST;
  if (!acquired) return DIERR_NOTACQUIRED;
  return hr;
}

#define FAKE_UNUSED(sig) \
  HRESULT FakeDevice::sig { HRESULT hr; Scripted(Method::Other, &hr); return E_NOTIMPL; }
FAKE_UNUSED(EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD))
FAKE_UNUSED(GetProperty(REFGUID, LPDIPROPHEADER))
FAKE_UNUSED(GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD))
FAKE_UNUSED(SetEventNotification(HANDLE))
FAKE_UNUSED(RunControlPanel(HWND, DWORD))
FAKE_UNUSED(Initialize(HINSTANCE, DWORD, REFGUID))
FAKE_UNUSED(CreateEffect(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT*, LPUNKNOWN))
FAKE_UNUSED(EnumEffects(LPDIENUMEFFECTSCALLBACKA, LPVOID, DWORD))
FAKE_UNUSED(GetEffectInfo(LPDIEFFECTINFOA, REFGUID))
FAKE_UNUSED(GetForceFeedbackState(LPDWORD))
FAKE_UNUSED(SendForceFeedbackCommand(DWORD))
FAKE_UNUSED(EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD))
FAKE_UNUSED(Escape(LPDIEFFESCAPE))
FAKE_UNUSED(SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD))
FAKE_UNUSED(EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD))
FAKE_UNUSED(WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD))
#undef FAKE_UNUSED

// ---- The world ----

FakeWorld& World() {
  if (g_pWorld == nullptr) {
    SuspendAllocationHooks inFake;
    g_pWorld = new FakeWorld;
    g_pWorld->lines.reserve(256);
  }
  return *g_pWorld;
}

void Reset() {
  SuspendAllocationHooks inFake;
  FakeWorld& w = World();
  for (auto& joy : w.joysticks) w.retiredJoysticks.push_back(std::move(joy));
  w.joysticks.clear();
  w.directInputs.clear();
  w.devices.clear();
  w.createScript.Clear();
  w.enumScript.Clear();
  w.createDeviceScript.Clear();
  for (int& c : w.calls) c = 0;
  w.useAfterRelease = 0;
  w.overRelease = 0;
  w.lines.clear();
  w.lastCreateInstance = nullptr;
  w.lastCreateVersion = 0;
  w.lastCreateIidWas7A = false;
}

FakeJoystick& AddJoystick(const GUID& instance, const char* productName) {
  SuspendAllocationHooks inFake;
  auto joy = std::make_unique<FakeJoystick>();
  joy->guidInstance = instance;
  joy->guidProduct = instance;
  joy->guidProduct.Data1 ^= 0x50000000u;
  joy->productName = productName;
  World().joysticks.push_back(std::move(joy));
  return *World().joysticks.back();
}

GUID MakeGuid(uint32_t n) {
  GUID g = {0x6a6f7900u + n, 0x1234, 0x5678, {0x9a, 0xbc, 0xde, 0xf0, 0x11, 0x22, 0x33, 0x44}};
  g.Data4[7] = static_cast<unsigned char>(n);
  return g;
}

int Calls(Method m) { return World().calls[Index(m)]; }

LONG OutstandingReferences() {
  LONG refs = 0;
  for (FakeDirectInput* di : World().directInputs) refs += static_cast<LONG>(di->RefCount());
  for (FakeDevice* dev : World().devices) refs += static_cast<LONG>(dev->RefCount());
  return refs;
}

int LiveObjects() {
  int live = 0;
  for (FakeDirectInput* di : World().directInputs) live += di->RefCount() > 0;
  for (FakeDevice* dev : World().devices) live += dev->RefCount() > 0;
  return live;
}

const std::vector<std::string>& Lines() { return World().lines; }

std::string LinesText() {
  std::string all;
  for (const std::string& line : World().lines) all += line;
  return all;
}

void ClearLines() {
  SuspendAllocationHooks inFake;
  World().lines.clear();
}

HRESULT WINAPI FakeDirectInputCreateEx(HINSTANCE hinst, DWORD version, REFIID riid, LPVOID* out,
                                       LPUNKNOWN) {
  SuspendAllocationHooks inFake;
  FakeWorld& w = World();
  CountWorld(Method::Create);
  w.lastCreateInstance = hinst;
  w.lastCreateVersion = version;
  w.lastCreateIidWas7A = IsEqualIID(riid, IID_IDirectInput7A) != 0;
  if (out == nullptr) return DIERR_INVALIDPARAM;
  *out = nullptr;
  HRESULT hr = DI_OK;
  if (w.createScript.Take(&hr) && FAILED(hr)) return hr;
  if (!w.lastCreateIidWas7A) return DIERR_NOINTERFACE;
  if (version != 0x0700) return DIERR_BETADIRECTINPUTVERSION;
  auto di = std::make_unique<FakeDirectInput>();
  *out = static_cast<IDirectInput7A*>(di.get());
  w.directInputs.push_back(di.get());
  w.ownedDirectInputs.push_back(std::move(di));
  return hr;
}

void WINAPI RecordDebugOutput(LPCSTR text) {
  SuspendAllocationHooks inFake;
  World().lines.emplace_back(text ? text : "(null)");
}

void Install(bool fakeCreation) {
  if (!g_bInstalled) {
    g_pfnSavedCreate = g_pfnDirectInputCreateEx;
    g_pfnSavedDebug = g_pfnDebugOutput;
    g_bInstalled = true;
  }
  g_pfnDirectInputCreateEx = fakeCreation ? FakeDirectInputCreateEx : g_pfnSavedCreate;
  g_pfnDebugOutput = RecordDebugOutput;
}

void Restore() {
  if (!g_bInstalled) return;
  g_pfnDirectInputCreateEx = g_pfnSavedCreate;
  g_pfnDebugOutput = g_pfnSavedDebug;
  g_bInstalled = false;
}

void RebuildJoystick(int player) {
  if (player < 0 || player > 1) return;
  g_Joystick[player].~CDIJoystick();
  new (&g_Joystick[player]) CDIJoystick();
}

}  // namespace fakedi
