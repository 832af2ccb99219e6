// GetDIErrorText: the debug-output text for each DirectInput result code,
// with one text for every code not listed.
#include "joystick/di_joystick.h"

namespace {

// A result code as the switch compares it: the unsigned 32-bit value. (The
// headers give some codes as HRESULT, some as plain long literals.)
constexpr uint32_t Code(HRESULT hr) { return static_cast<uint32_t>(hr); }

}  // namespace

// Codes the platform defines as equal (several successes are 1) meet one
// case; the switch is on the unsigned code, with no masking.
const char* CDIJoystick::GetDIErrorText(HRESULT hr) {
  switch (Code(hr)) {
    case Code(DI_OK):
      return "DI_OK : The operation completed successfully. This value is equal to the S_OK standard COM return value.\n";
    case Code(DI_PROPNOEFFECT):
      return "DI_PROPNOEFFECT : The change in device properties had no effect. This value is equal to the S_FALSE standard COM return value.\n";
    case Code(DI_POLLEDDEVICE):
      return "DI_POLLEDDEVICE : The device is a polled device. As a result, device buffering does not collect any data and event notifications is not signaled until the IDirectInputDevice7::Poll method is called.\n";
    case Code(DI_DOWNLOADSKIPPED):
      return "The parameters of the effect were successfully updated, but the effect could not be downloaded because the associated device was not acquired in exclusive mode.\n";
    case Code(DI_EFFECTRESTARTED):
      return "DI_EFFECTRESTARTED : The effect was stopped, the parameters were updated, and the effect was restarted.\n";
    case Code(DI_TRUNCATED):
      return "DI_TRUNCATED : The parameters of the effect were successfully updated, but some of them were beyond the capabilities of the device and were truncated to the nearest supported value.\n";
    case Code(DI_TRUNCATEDANDRESTARTED):
      return "DI_TRUNCATEDANDRESTARTED : Equal to DI_EFFECTRESTARTED | DI_TRUNCATED\n";
    case Code(E_PENDING):
      return "E_PENDING : Data Not Available.\n";
    case Code(DIERR_UNSUPPORTED):
      return "DIERR_UNSUPPORTED : The function called is not supported at this time. This value is equal to the E_NOTIMPL standard COM return value.\n";
    case Code(DIERR_NOINTERFACE):
      return "DIERR_NOINTERFACE : The specified interface is not supported by the object. This value is equal to the E_NOINTERFACE standard COM return value.\n";
    case Code(DIERR_GENERIC):
      return "DIERR_GENERIC : An undetermined error occurred inside the DirectInput subsystem. This value is equal to the E_FAIL standard COM return value.\n";
    case Code(DIERR_NOAGGREGATION):
      return "DIERR_NOAGGREGATION : This object does not support aggregation.\n";
    case Code(DIERR_DEVICENOTREG):
      return "DIERR_DEVICENOTREG : The device or device instance is not registered with DirectInput. This value is equal to the REGDB_E_CLASSNOTREG standard COM return value.\n";
    case Code(DIERR_DEVICEFULL):
      return "DIERR_DEVICEFULL : The device is full.\n";
    case Code(DIERR_MOREDATA):
      return "DIERR_MOREDATA : Not all the requested information fit into the buffer.\n";
    case Code(DIERR_NOTDOWNLOADED):
      return "DIERR_NOTDOWNLOADED : The effect is not downloaded.\n";
    case Code(DIERR_HASEFFECTS):
      return "DIERR_HASEFFECTS : The device cannot be reinitialized because there are still effects attached to it.\n";
    case Code(DIERR_NOTEXCLUSIVEACQUIRED):
      return "DIERR_NOTEXCLUSIVEACQUIRED : The operation cannot be performed unless the device is acquired in DISCL_EXCLUSIVE mode.\n";
    case Code(DIERR_INCOMPLETEEFFECT):
      return "DIERR_INCOMPLETEEFFECT : The effect could not be downloaded because essential information is missing. For example, no axes have been associated with the effect, or no type-specific information has been supplied.\n";
    case Code(DIERR_NOTBUFFERED):
      return "DIERR_NOTBUFFERED : The device is not buffered. Set the DIPROP_BUFFERSIZE property to enable buffering.\n";
    case Code(DIERR_EFFECTPLAYING):
      return "DIERR_EFFECTPLAYING : The parameters were updated in memory but were not downloaded to the device because the device does not support updating an effect while it is still playing.\n";
    case Code(DIERR_UNPLUGGED):
      return "DIERR_UNPLUGGED : The operation could not be completed because the device is not plugged in.\n";
    case Code(DIERR_REPORTFULL):
      return "DIERR_REPORTFULL : More information was requested to be sent than can be sent to the device.\n";
    case Code(DIERR_OBJECTNOTFOUND):
      return "DIERR_OBJECTNOTFOUND : The requested object does not exist.\n";
    case Code(DIERR_READONLY):
      return "DIERR_READONLY : The specified property cannot be changed. This value is equal to the E_ACCESSDENIED standard COM return value.\n";
    case Code(E_HANDLE):
      return "E_HANDLE : The HWND parameter is not a valid top-level window that belongs to the process.\n";
    case Code(DIERR_NOTACQUIRED):
      return "DIERR_NOTACQUIRED : The operation cannot be performed unless the device is acquired.\n";
    case Code(DIERR_OUTOFMEMORY):
      return "DIERR_OUTOFMEMORY : The DirectInput subsystem could not allocate sufficient memory to complete the call. This value is equal to the E_OUTOFMEMORY standard COM return value.\n";
    case Code(DIERR_NOTINITIALIZED):
      return "DIERR_NOTINITIALIZED : This object has not been initialized.\n";
    case Code(DIERR_INPUTLOST):
      return "DIERR_INPUTLOST : Access to the input device has been lost. It must be reacquired.\n";
    case Code(DIERR_INVALIDPARAM):
      return "DIERR_INVALIDPARAM : An invalid parameter was passed to the returning function, or the object was not in a state that permitted the function to be called. This value is equal to the E_INVALIDARG standard COM return value.\n";
    case Code(DIERR_BADDRIVERVER):
      return "DIERR_BADDRIVERVER : The object could not be created due to an incompatible driver version or mismatched or incomplete driver components.\n";
    case Code(DIERR_ACQUIRED):
      return "DIERR_ACQUIRED : The operation cannot be performed while the device is acquired.\n";
    case Code(DIERR_OLDDIRECTINPUTVERSION):
      return "DIERR_OLDDIRECTINPUTVERSION : The application requires a newer version of DirectInput.\n";
    case Code(DIERR_BETADIRECTINPUTVERSION):
      return "DIERR_BETADIRECTINPUTVERSION : The application was written for an unsupported prerelease version of DirectInput.\n";
    case Code(DIERR_ALREADYINITIALIZED):
      return "DIERR_ALREADYINITIALIZED : This object is already initialized\n";
    default:
      return "Unknown Error Code.\n";
  }
}
