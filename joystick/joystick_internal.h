// Helpers shared by the joystick class's source files; not for other folders.
#pragma once

#include "joystick/di_joystick.h"

namespace joystick_detail {

// One write to the debugger output through the seam.
inline void WriteDebug(const char* text) { g_pfnDebugOutput(text); }

// The failure line, then the text of the result code.
inline void WriteDebug(const char* text, HRESULT hr) {
  g_pfnDebugOutput(text);
  g_pfnDebugOutput(CDIJoystick::GetDIErrorText(hr));
}

// Releases an open device as InitDevice does before it reopens one:
// release the acquisition (a failure is reported, not fatal), then the
// reference. Nothing happens when no device is open.
void ReleaseOpenDevice(CDIJoystick& joy);

}  // namespace joystick_detail
