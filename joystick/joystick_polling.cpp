// Reading the device: PollDevice with its re-acquisition, and the axis and
// hat queries with their name tables.
#include "joystick/joystick_internal.h"

#include <cstring>

using joystick_detail::WriteDebug;

namespace {

// Bound on the lost-input and not-acquired retries within one poll.
const int32_t MAX_POLL_RETRIES = 20;

// A hat's reading when it is centred (all bits set), the low word alone
// for drivers that report only that, and a button's pressed bit.
constexpr DWORD POV_CENTRED = 0xFFFFFFFFu;
constexpr WORD POV_CENTRED_LOW_WORD = 0xFFFF;
constexpr BYTE BUTTON_PRESSED = 0x80;

// Zero state, except the hats: 0 would read as pushed up, so a poll that
// reads nothing reports them centred.
void ClearState(DIJOYSTATE2& state) {
  std::memset(&state, 0, sizeof(state));
  for (DWORD& pov : state.rgdwPOV) pov = POV_CENTRED;
}

}  // namespace

bool CDIJoystick::PollDevice() {
  g_nPollRetries = 0;
  ClearState(m_State);
  if (m_lpDIDevice == nullptr) {
    if (!InitDevice()) {
      WriteDebug("Failed To Initialise and Poll Joystick in CDIJoystick::PollDevice()\n");
    }
    return false;
  }
  HRESULT hr = m_lpDIDevice->Poll();
  if (FAILED(hr)) WriteDebug("Failed To Poll Joystick in CDIJoystick::PollDevice()\n", hr);

  for (;;) {
    if (g_nPollRetries > MAX_POLL_RETRIES) {
      ClearState(m_State);
      return false;
    }
    hr = m_lpDIDevice->GetDeviceState(sizeof(DIJOYSTATE2), &m_State);
    if (hr == DIERR_INPUTLOST) {
      WriteDebug("Failed To Obtain Immediate Device State in CDIJoystick::PollDevice()\n",
                 DIERR_INPUTLOST);
      ++g_nPollRetries;
      if (!Acquire(true)) {
        WriteDebug("Unable to obtain Immediate Data from Device in CDIJoystick::PollDevice() "
                   "Quitting\n");
        ClearState(m_State);
        return false;
      }
      continue;
    }
    if (hr == DIERR_NOTACQUIRED) {
      ++g_nPollRetries;
      WriteDebug("Device Not Acquired Trying Again immediate CDIJoystick::PollDevice()\n");
      if (!Acquire(true)) {
        WriteDebug("Unable to acquire Immediate Device in CDIJoystick::PollDevice() Quitting\n");
        ClearState(m_State);
        return false;
      }
      continue;
    }
    if (FAILED(hr)) {
      WriteDebug("Unable to obtain Immediate Data from Device in CDIJoystick::PollDevice() "
                 "Quitting\n");
      ClearState(m_State);  // a failed read may have left part of a record behind
      return false;
    }
    for (int i = 0; i < 128; ++i) m_Buttons[i] = (m_State.rgbButtons[i] & BUTTON_PRESSED) ? 1 : 0;
    return true;
  }
}

int32_t CDIJoystick::GetAxisValue(int axis) const {
  switch (axis) {
    case 0: return m_State.lX;
    case 1: return m_State.lY;
    case 2: return m_State.lZ;
    case 3: return m_State.lRx;
    case 4: return m_State.lRy;
    case 5: return m_State.lRz;
    case 6: return m_State.rglSlider[0];
    case 7: return m_State.rglSlider[1];
    default: return 0;
  }
}

int32_t CDIJoystick::GetPOVValue(int hat) const {
  if (hat < 0 || hat > 3) return -1;
  DWORD reading = m_State.rgdwPOV[hat];
  // Some drivers report a centred hat with only the low word set.
  if (LOWORD(reading) == POV_CENTRED_LOW_WORD) return -1;
  return static_cast<int32_t>(reading);
}

const char* CDIJoystick::GetAxisName(int axis) const {
  switch (axis) {
    case 0: return "X Axis";
    case 1: return "Y Axis";
    case 2: return "Z Axis";
    case 3: return "Rotate X Axis";
    case 4: return "Rotate Y Axis";
    case 5: return "Rudder";
    case 6: return "Slider X Axis";
    case 7: return "Slider Y Axis";
    default: return nullptr;
  }
}

const char* CDIJoystick::GetPOVDirectionName(int32_t reading) const {
  switch (reading) {
    case -1: return "Idle";
    case 0: return "Up";
    case 4500: return "Up-Right";
    case 9000: return "Right";
    case 13500: return "Down-Right";
    case 18000: return "Down";
    case 22500: return "Down-Left";
    case 27000: return "Left";
    case 31500: return "Up-Left";
    default: return nullptr;
  }
}
