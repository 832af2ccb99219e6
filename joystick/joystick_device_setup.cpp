// Opening and configuring the selected device: CreateDevice, InitDevice,
// SetDeviceProperties and Acquire.
#include "joystick/joystick_internal.h"

#include <cstring>

using joystick_detail::WriteDebug;

static_assert(sizeof(DIPROPHEADER) == 16, "DIPROPHEADER");
static_assert(sizeof(DIPROPDWORD) == 20, "DIPROPDWORD");
static_assert(sizeof(DIPROPRANGE) == 24, "DIPROPRANGE");

namespace {

DIPROPDWORD DeviceDword(DWORD value) {
  DIPROPDWORD prop;
  prop.diph.dwSize = sizeof(DIPROPDWORD);
  prop.diph.dwHeaderSize = sizeof(DIPROPHEADER);
  prop.diph.dwObj = 0;
  prop.diph.dwHow = DIPH_DEVICE;
  prop.dwData = value;
  return prop;
}

}  // namespace

void joystick_detail::ReleaseOpenDevice(CDIJoystick& joy) {
  if (joy.m_lpDIDevice == nullptr) return;
  joy.Acquire(false);
  joy.m_lpDIDevice->Release();
  joy.m_lpDIDevice = nullptr;
}

bool CDIJoystick::CreateDevice(GUID* guid) {
  if (m_lpDIDevice != nullptr) {
    try {
      m_lpDIDevice->Unacquire();
    } catch (...) {
    }
    try {
      m_lpDIDevice->Release();
    } catch (...) {
      WriteDebug("Failed to Release Pointer in CDIJoystick::CreateDevice(GUID *guid)\n");
    }
    m_lpDIDevice = nullptr;
  }
  if (m_lpDI == nullptr) {
    WriteDebug("Failed to Create DI 7 interface to device in CDIJoystick::CreateDevice(GUID *guid) "
               "m_lpDI not initialised.\n");
    return false;
  }
  LPDIRECTINPUTDEVICE7A created = nullptr;
  HRESULT hr = guid != nullptr
                   ? m_lpDI->CreateDeviceEx(*guid, IID_IDirectInputDevice7A,
                                            reinterpret_cast<LPVOID*>(&created), nullptr)
                   : E_POINTER;
  if (FAILED(hr) || created == nullptr) {
    WriteDebug("Failed to Create DI 7 interface to device in CDIJoystick::CreateDevice(GUID *guid)\n");
    return false;
  }
  m_lpDIDevice = created;
  m_guidDevice = *guid;
  return true;
}

bool CDIJoystick::InitDevice() {
  if (m_hWnd == nullptr) m_hWnd = GetDesktopWindow();
  joystick_detail::ReleaseOpenDevice(*this);

  if (!CreateDevice(&m_guidDevice)) {
    WriteDebug("Failed to create device in CDIJoystick::InitDevice()\n");
    return false;
  }
  DIDEVICEINSTANCEA info;
  std::memset(&info, 0, sizeof(info));
  info.dwSize = sizeof(info);
  HRESULT hr = m_lpDIDevice->GetDeviceInfo(&info);
  if (FAILED(hr)) {
    WriteDebug("Failed to obtain device info in CDIJoystick::InitDevice()\n", hr);
    return false;
  }
  hr = m_lpDIDevice->SetDataFormat(&c_dfDIJoystick2);
  if (FAILED(hr)) {
    WriteDebug("Failed to create device in CDIJoystick::InitDevice()\n", hr);
    return false;
  }
  hr = m_lpDIDevice->SetCooperativeLevel(m_hWnd, DISCL_EXCLUSIVE | DISCL_BACKGROUND);
  if (FAILED(hr)) {
    WriteDebug("Failed to set game device cooperative level.\n", hr);
    return false;
  }
  // Buffered input is never read (the poll takes the immediate state); the
  // buffer is set because some drivers expect one.
  DIPROPDWORD buffer = DeviceDword(16);
  hr = m_lpDIDevice->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph);
  if (FAILED(hr)) {
    WriteDebug("Failed to set up Data Buffer property.\n", hr);
    return false;
  }
  m_bForceFeedback = 0;
  return SetDeviceProperties();
}

bool CDIJoystick::SetDeviceProperties() {
  if (m_lpDIDevice == nullptr) return false;
  DIPROPRANGE range;
  range.diph.dwSize = sizeof(DIPROPRANGE);
  range.diph.dwHeaderSize = sizeof(DIPROPHEADER);
  range.diph.dwObj = 0;
  range.diph.dwHow = DIPH_DEVICE;
  range.lMin = -10000;
  range.lMax = 10000;
  if (FAILED(m_lpDIDevice->SetProperty(DIPROP_RANGE, &range.diph))) return false;
  // The controls take an axis value of exactly 0 as at rest: the dead zone
  // (20 % of the travel) is what makes a resting stick read 0.
  DIPROPDWORD dead = DeviceDword(2000);
  if (FAILED(m_lpDIDevice->SetProperty(DIPROP_DEADZONE, &dead.diph))) return false;
  DIPROPDWORD saturation = DeviceDword(9500);
  if (FAILED(m_lpDIDevice->SetProperty(DIPROP_SATURATION, &saturation.diph))) return false;
  DIDEVCAPS caps;
  std::memset(&caps, 0, sizeof(caps));
  caps.dwSize = sizeof(caps);
  if (FAILED(m_lpDIDevice->GetCapabilities(&caps))) return false;
  m_bForceFeedback = caps.dwFlags & DIDC_FORCEFEEDBACK;
  if (m_bForceFeedback != 0) {
    DIPROPDWORD autoCenter = DeviceDword(DIPROPAUTOCENTER_OFF);
    m_lpDIDevice->SetProperty(DIPROP_AUTOCENTER, &autoCenter.diph);
  }
  return true;
}

bool CDIJoystick::Acquire(bool state) {
  if (m_lpDIDevice == nullptr) {
    WriteDebug("Error in CDIJoystick::Acquire(bool state)\nDevice Has Not Been Created.\n");
    return false;
  }
  HRESULT hr;
  if (state) {
    // SetCursor(nullptr) would hide the mouse pointer, and no cursor is ever set.
    if (m_hCursor != nullptr) SetCursor(m_hCursor);
    hr = m_lpDIDevice->Acquire();
  } else {
    hr = m_lpDIDevice->Unacquire();
  }
  if (FAILED(hr)) {
    WriteDebug("Failed in CDIJoystick::Acquire(bool state)\n", hr);
    return false;
  }
  return true;
}
