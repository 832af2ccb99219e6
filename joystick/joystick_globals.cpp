// The two players' joystick objects, the per-poll retry count and the two
// seams (interface creation, debug output) with the real calls as defaults.
#include "joystick/di_joystick.h"

namespace {

// Wrappers rather than the imported functions themselves: the address of a
// local function is a constant, so the seams are set before any constructor
// of g_Joystick runs, whatever the order of static initialisation.
HRESULT WINAPI RealDirectInputCreateEx(HINSTANCE hinst, DWORD version, REFIID riid, LPVOID* out,
                                       LPUNKNOWN outer) {
  return DirectInputCreateEx(hinst, version, riid, out, outer);
}

void WINAPI RealDebugOutput(LPCSTR text) { OutputDebugStringA(text); }

}  // namespace

DirectInputCreateExFn g_pfnDirectInputCreateEx = RealDirectInputCreateEx;
DebugOutputFn g_pfnDebugOutput = RealDebugOutput;
int32_t g_nPollRetries = 0;

// Defined after the seams so that, within this file too, they come first.
CDIJoystick g_Joystick[2];
