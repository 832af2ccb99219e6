// GetDIErrorText: every listed code byte for byte, the codes that share a
// value, and the fallback around each group.
#include "joystick/di_joystick.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

namespace {

struct TextCase {
  uint32_t code;
  const char* text;
};

const TextCase kTexts[] = {
    {0x00000000u, "DI_OK : The operation completed successfully. This value is equal to the S_OK standard COM return value.\n"},
    {0x00000001u, "DI_PROPNOEFFECT : The change in device properties had no effect. This value is equal to the S_FALSE standard COM return value.\n"},
    {0x00000002u, "DI_POLLEDDEVICE : The device is a polled device. As a result, device buffering does not collect any data and event notifications is not signaled until the IDirectInputDevice7::Poll method is called.\n"},
    {0x00000003u, "The parameters of the effect were successfully updated, but the effect could not be downloaded because the associated device was not acquired in exclusive mode.\n"},
    {0x00000004u, "DI_EFFECTRESTARTED : The effect was stopped, the parameters were updated, and the effect was restarted.\n"},
    {0x00000008u, "DI_TRUNCATED : The parameters of the effect were successfully updated, but some of them were beyond the capabilities of the device and were truncated to the nearest supported value.\n"},
    {0x0000000Cu, "DI_TRUNCATEDANDRESTARTED : Equal to DI_EFFECTRESTARTED | DI_TRUNCATED\n"},
    {0x8000000Au, "E_PENDING : Data Not Available.\n"},
    {0x80004001u, "DIERR_UNSUPPORTED : The function called is not supported at this time. This value is equal to the E_NOTIMPL standard COM return value.\n"},
    {0x80004002u, "DIERR_NOINTERFACE : The specified interface is not supported by the object. This value is equal to the E_NOINTERFACE standard COM return value.\n"},
    {0x80004005u, "DIERR_GENERIC : An undetermined error occurred inside the DirectInput subsystem. This value is equal to the E_FAIL standard COM return value.\n"},
    {0x80040110u, "DIERR_NOAGGREGATION : This object does not support aggregation.\n"},
    {0x80040154u, "DIERR_DEVICENOTREG : The device or device instance is not registered with DirectInput. This value is equal to the REGDB_E_CLASSNOTREG standard COM return value.\n"},
    {0x80040201u, "DIERR_DEVICEFULL : The device is full.\n"},
    {0x80040202u, "DIERR_MOREDATA : Not all the requested information fit into the buffer.\n"},
    {0x80040203u, "DIERR_NOTDOWNLOADED : The effect is not downloaded.\n"},
    {0x80040204u, "DIERR_HASEFFECTS : The device cannot be reinitialized because there are still effects attached to it.\n"},
    {0x80040205u, "DIERR_NOTEXCLUSIVEACQUIRED : The operation cannot be performed unless the device is acquired in DISCL_EXCLUSIVE mode.\n"},
    {0x80040206u, "DIERR_INCOMPLETEEFFECT : The effect could not be downloaded because essential information is missing. For example, no axes have been associated with the effect, or no type-specific information has been supplied.\n"},
    {0x80040207u, "DIERR_NOTBUFFERED : The device is not buffered. Set the DIPROP_BUFFERSIZE property to enable buffering.\n"},
    {0x80040208u, "DIERR_EFFECTPLAYING : The parameters were updated in memory but were not downloaded to the device because the device does not support updating an effect while it is still playing.\n"},
    {0x80040209u, "DIERR_UNPLUGGED : The operation could not be completed because the device is not plugged in.\n"},
    {0x8004020Au, "DIERR_REPORTFULL : More information was requested to be sent than can be sent to the device.\n"},
    {0x80070002u, "DIERR_OBJECTNOTFOUND : The requested object does not exist.\n"},
    {0x80070005u, "DIERR_READONLY : The specified property cannot be changed. This value is equal to the E_ACCESSDENIED standard COM return value.\n"},
    {0x80070006u, "E_HANDLE : The HWND parameter is not a valid top-level window that belongs to the process.\n"},
    {0x8007000Cu, "DIERR_NOTACQUIRED : The operation cannot be performed unless the device is acquired.\n"},
    {0x8007000Eu, "DIERR_OUTOFMEMORY : The DirectInput subsystem could not allocate sufficient memory to complete the call. This value is equal to the E_OUTOFMEMORY standard COM return value.\n"},
    {0x80070015u, "DIERR_NOTINITIALIZED : This object has not been initialized.\n"},
    {0x8007001Eu, "DIERR_INPUTLOST : Access to the input device has been lost. It must be reacquired.\n"},
    {0x80070057u, "DIERR_INVALIDPARAM : An invalid parameter was passed to the returning function, or the object was not in a state that permitted the function to be called. This value is equal to the E_INVALIDARG standard COM return value.\n"},
    {0x80070077u, "DIERR_BADDRIVERVER : The object could not be created due to an incompatible driver version or mismatched or incomplete driver components.\n"},
    {0x800700AAu, "DIERR_ACQUIRED : The operation cannot be performed while the device is acquired.\n"},
    {0x8007047Eu, "DIERR_OLDDIRECTINPUTVERSION : The application requires a newer version of DirectInput.\n"},
    {0x80070481u, "DIERR_BETADIRECTINPUTVERSION : The application was written for an unsupported prerelease version of DirectInput.\n"},
    {0x800704DFu, "DIERR_ALREADYINITIALIZED : This object is already initialized\n"},
};

const char kUnknown[] = "Unknown Error Code.\n";

HRESULT AsResult(uint32_t code) { return static_cast<HRESULT>(code); }

}  // namespace

TEST(DIErrorText, EveryListedCodeHasItsTextByteForByte) {
  ASSERT_EQ(36u, sizeof(kTexts) / sizeof(kTexts[0]));
  std::set<std::string> distinct;
  for (const TextCase& c : kTexts) {
    const char* text = CDIJoystick::GetDIErrorText(AsResult(c.code));
    ASSERT_NE(nullptr, text) << std::hex << c.code;
    EXPECT_EQ(std::string(c.text), std::string(text)) << "code 0x" << std::hex << c.code;
    distinct.insert(text);
  }
  EXPECT_EQ(36u, distinct.size()) << "two codes share a text";
}

TEST(DIErrorText, PlatformSymbolsMeetTheirEntries) {
  // The header's symbols, not our numbers: the table must match the platform.
  EXPECT_STREQ(kTexts[0].text, CDIJoystick::GetDIErrorText(DI_OK));
  EXPECT_STREQ(kTexts[1].text, CDIJoystick::GetDIErrorText(DI_NOEFFECT));
  EXPECT_STREQ(kTexts[1].text, CDIJoystick::GetDIErrorText(S_FALSE));
  EXPECT_STREQ(kTexts[27].text, CDIJoystick::GetDIErrorText(E_OUTOFMEMORY));
  EXPECT_STREQ(kTexts[26].text, CDIJoystick::GetDIErrorText(DIERR_NOTACQUIRED));
  EXPECT_STREQ(kTexts[29].text, CDIJoystick::GetDIErrorText(DIERR_INPUTLOST));
  EXPECT_STREQ(kTexts[24].text, CDIJoystick::GetDIErrorText(E_ACCESSDENIED));
  EXPECT_STREQ(kTexts[30].text, CDIJoystick::GetDIErrorText(E_INVALIDARG));
  EXPECT_STREQ(kTexts[21].text, CDIJoystick::GetDIErrorText(DIERR_UNPLUGGED));
  EXPECT_STREQ(kTexts[10].text, CDIJoystick::GetDIErrorText(E_FAIL));
  EXPECT_STREQ(kTexts[12].text, CDIJoystick::GetDIErrorText(REGDB_E_CLASSNOTREG));
}

TEST(DIErrorText, EveryOtherCodeGetsTheFallback) {
  const uint32_t others[] = {5u, 7u, 9u, 0x0Du, 0xFFFFFFFFu, 0x80040200u, 0x8004020Bu,
                             0x80070001u, 0x8007001Fu, 0x800704E0u, 0x00040209u,
                             0x0007001Eu, 0x7FFFFFFFu, 0x80000000u, 0x8000FFFFu};
  for (uint32_t code : others) {
    EXPECT_STREQ(kUnknown, CDIJoystick::GetDIErrorText(AsResult(code))) << std::hex << code;
  }
  // Facility and severity bits are part of the code: no masking.
  for (const TextCase& c : kTexts) {
    if (c.code < 0x80000000u) continue;
    EXPECT_STREQ(kUnknown, CDIJoystick::GetDIErrorText(AsResult(c.code & 0x7FFFFFFFu)))
        << std::hex << c.code;
  }
}
