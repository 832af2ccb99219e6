// CDIJoystick construction and destruction, the DirectInput interface, the
// device list and its walk, window and device binding, and Shutdown.
#include "joystick/joystick_internal.h"

#include <cstring>
#include <new>

using joystick_detail::ReleaseOpenDevice;
using joystick_detail::WriteDebug;

CDIJoystick::CDIJoystick()
    : m_bEnumerated(false),
      m_State(),
      m_guidDevice(),
      m_Buttons(),
      m_hCursor(nullptr),
      m_hWnd(nullptr),
      m_bInitialised(false),
      m_hInstance(nullptr),
      m_lpDI(nullptr),
      m_lpDIDevice(nullptr),
      m_bForceFeedback(0) {
  m_DeviceCursor.Attach(&m_DeviceList);
  m_ButtonCursor.Attach(&m_ButtonNames);
  m_hInstance = GetModuleHandleA(nullptr);
  Initialise();
  Enumerate_Joysticks();
}

CDIJoystick::~CDIJoystick() {
  Shutdown();
  m_ButtonNames.RemoveAll();
  m_DeviceList.RemoveAll();
}

static_assert(DIRECTINPUT_VERSION == 0x0700, "the class asks for DirectInput 7");

bool CDIJoystick::Initialise() {
  // Created into a local: a failed creation keeps (and a successful one
  // releases) any interface held from before instead of leaking it.
  LPDIRECTINPUT7A created = nullptr;
  HRESULT hr = g_pfnDirectInputCreateEx(m_hInstance, DIRECTINPUT_VERSION, IID_IDirectInput7A,
                                        reinterpret_cast<LPVOID*>(&created), nullptr);
  if (FAILED(hr) || created == nullptr) {
    WriteDebug("Failed To Initialise Direct Input 7 in CDIJoystick::Initialise\n",
               FAILED(hr) ? hr : E_POINTER);
    return false;
  }
  if (m_lpDI != nullptr) m_lpDI->Release();
  m_lpDI = created;
  m_hWnd = nullptr;
  m_bInitialised = true;
  return true;
}

bool CDIJoystick::Enumerate_Joysticks() {
  if (!m_bInitialised) Initialise();
  if (m_lpDI == nullptr) {
    LPDIRECTINPUT7A created = nullptr;
    HRESULT hr = g_pfnDirectInputCreateEx(m_hInstance, DIRECTINPUT_VERSION, IID_IDirectInput7A,
                                          reinterpret_cast<LPVOID*>(&created), nullptr);
    if (FAILED(hr) || created == nullptr) {
      WriteDebug("Error in CDIJoystick::Enumerate_Joysticks()\n", FAILED(hr) ? hr : E_POINTER);
      return false;
    }
    m_lpDI = created;
  }
  m_bEnumerated = true;
  HRESULT hr = m_lpDI->EnumDevices(DIDEVTYPE_JOYSTICK, EnumJoysticksCallback, this,
                                   DIEDFL_ATTACHEDONLY);
  if (FAILED(hr)) {
    WriteDebug("Error in CDIJoystick::Enumerate_Joysticks()\n", hr);
    return false;
  }
  return true;
}

BOOL CALLBACK EnumJoysticksCallback(LPCDIDEVICEINSTANCEA lpddi, LPVOID pvRef) {
  if (pvRef != nullptr) static_cast<CDIJoystick*>(pvRef)->AddDeviceInfo(lpddi);
  return DIENUM_CONTINUE;
}

bool CDIJoystick::AddDeviceInfo(LPCDIDEVICEINSTANCEA lpddi) {
  m_bEnumerated = true;
  if (lpddi == nullptr) return false;
  DIDEVICEINSTANCEA* record = new (std::nothrow) DIDEVICEINSTANCEA;
  if (record == nullptr) return false;
  // A record declaring itself shorter than ours is copied only that far; the
  // names are terminated whatever the platform delivered.
  std::memset(record, 0, sizeof(*record));
  size_t size = lpddi->dwSize < sizeof(*record) ? lpddi->dwSize : sizeof(*record);
  std::memcpy(record, lpddi, size);
  record->tszInstanceName[sizeof(record->tszInstanceName) - 1] = '\0';
  record->tszProductName[sizeof(record->tszProductName) - 1] = '\0';
  if (!m_DeviceList.Append(record)) {
    delete record;
    WriteDebug("Failed To Add Device Info in CDIJoystick::AddDeviceInfo(LPCDIDEVICEINSTANCE lpddi)\n");
    return false;
  }
  return true;
}

LPCDIDEVICEINSTANCEA CDIJoystick::GetFirstJoystickID() {
  if (!m_bEnumerated) {
    WriteDebug("Joystick Have Not Yet Been Enumerated Returning NULL from "
               "CDIJoystick::GetFirstJoystickID()\n");
    return nullptr;
  }
  if (m_DeviceList.IsEmpty()) {
    WriteDebug("Joysticks Have Been Enumerated However None Were Found Attached To This System\n"
               "Therefore I am Returning NULL from CDIJoystick::GetFirstJoystickID()\n");
    return nullptr;
  }
  m_DeviceCursor.Reset();
  return static_cast<LPCDIDEVICEINSTANCEA>(m_DeviceCursor.GetNext());
}

LPCDIDEVICEINSTANCEA CDIJoystick::GetNextJoystickID() {
  if (!m_DeviceCursor.HasCurrent()) return nullptr;
  return static_cast<LPCDIDEVICEINSTANCEA>(m_DeviceCursor.GetNext());
}

void CDIJoystick::SetHWND(HWND hWnd) {
  // An open device keeps the window it was configured against; a new window
  // must reach it, so the device is dropped and the next poll reopens it.
  if (hWnd != m_hWnd && m_lpDIDevice != nullptr) ReleaseOpenDevice(*this);
  m_hWnd = hWnd;
  m_hInstance = GetModuleHandleA(nullptr);
}

void CDIJoystick::SelectDevice(const GUID* guid) {
  if (guid == nullptr) return;
  if (m_lpDIDevice != nullptr && !IsEqualGUID(*guid, m_guidDevice)) ReleaseOpenDevice(*this);
  m_guidDevice = *guid;
}

void CDIJoystick::Shutdown() {
  ClearFriendlyButtonNames();
  for (CItemEntry* e = m_DeviceList.m_pFirst; e != nullptr; e = e->m_pNext) {
    delete static_cast<DIDEVICEINSTANCEA*>(e->m_pData);
    e->m_pData = nullptr;
  }
  m_DeviceList.RemoveAll();
  m_DeviceCursor.Reset();  // it may point at a freed entry
  // A device cannot exist without the interface that made it; it is
  // released either way so that no reference can outlive Shutdown.
  if (m_lpDIDevice != nullptr) {
    try {
      Acquire(false);
      m_lpDIDevice->Release();
    } catch (...) {
      WriteDebug("Failed to Release Pointer in CDIJoystick::Shutdown\n");
    }
    m_lpDIDevice = nullptr;
  }
  if (m_lpDI != nullptr) {
    try {
      m_lpDI->Release();
    } catch (...) {
      WriteDebug("Failed to Release DI7 Pointer in CDIJoystick::Shutdown\n");
    }
    m_lpDI = nullptr;
  }
  m_bInitialised = false;
}
