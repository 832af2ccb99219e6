// CDIJoystick: one player's joystick over DirectInput 7 (device list,
// lifecycle, polling, object queries, result texts), with its list types.
// Knows nothing of the game; the controls use it, never the reverse.
#pragma once

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0700
#endif
#include <windows.h>
#include <dinput.h>

#include <cstdint>

// Platform record sizes the class copies and passes as stored formats.
static_assert(sizeof(DIDEVICEINSTANCEA) == 580, "DIDEVICEINSTANCEA");
static_assert(sizeof(DIJOYSTATE2) == 272, "DIJOYSTATE2");
static_assert(sizeof(DIDEVICEOBJECTINSTANCEA) == 316, "DIDEVICEOBJECTINSTANCEA");
static_assert(sizeof(DIDEVCAPS) == 44, "DIDEVCAPS");

// One entry of a CItemList. The entry does not own its data.
struct CItemEntry {
  void* m_pData;
  CItemEntry* m_pNext;
  CItemEntry* m_pPrev;
};

// Doubly linked list of data pointers; the list is its first entry.
class CItemList {
 public:
  CItemList();
  ~CItemList();
  // The list owns its entries: a copy would free them twice.
  CItemList(const CItemList&) = delete;
  CItemList& operator=(const CItemList&) = delete;
  // Links a new entry {data, null, last} after the last one; false (list
  // unchanged) when the entry cannot be allocated.
  bool Append(void* data);
  // Frees every entry, first to last; the data is not touched.
  void RemoveAll();
  bool IsEmpty() const { return m_pFirst == nullptr; }

  CItemEntry* m_pFirst;
};

// A walking position over a CItemList; null current = before the first.
class CItemCursor {
 public:
  CItemCursor();
  void Attach(CItemList* list);
  void Reset() { m_pCurrent = nullptr; }
  // First entry when before the first, else the following one; its data, or
  // null (position back before the first) when there is none.
  void* GetNext();
  bool HasCurrent() const { return m_pCurrent != nullptr; }

  CItemEntry* m_pCurrent;
  CItemList* m_pList;
};

class CDIJoystick {
 public:
  CDIJoystick();
  virtual ~CDIJoystick();
  // Owns its records, names and interface references: never copied.
  CDIJoystick(const CDIJoystick&) = delete;
  CDIJoystick& operator=(const CDIJoystick&) = delete;

  // ---- Device list and lifecycle ----
  bool Initialise();
  bool Enumerate_Joysticks();
  bool AddDeviceInfo(LPCDIDEVICEINSTANCEA lpddi);
  LPCDIDEVICEINSTANCEA GetFirstJoystickID();
  LPCDIDEVICEINSTANCEA GetNextJoystickID();
  // Records the window for the next InitDevice; another window while a
  // device is open releases that device so the next poll reopens it.
  void SetHWND(HWND hWnd);
  // Records the device for the next InitDevice; another GUID while a device
  // is open releases that device so the next poll opens the new one.
  void SelectDevice(const GUID* guid);
  bool CreateDevice(GUID* guid);
  bool InitDevice();
  bool SetDeviceProperties();
  bool Acquire(bool state);
  void Shutdown();

  // ---- Polling and object queries ----
  bool PollDevice();
  int32_t GetAxisValue(int axis) const;   // 0 outside 0..7
  int32_t GetPOVValue(int hat) const;     // -1 (centred) outside 0..3
  const char* GetAxisName(int axis) const;
  const char* GetPOVDirectionName(int32_t reading) const;
  int BuildFriendlyButtonNames();
  void ClearFriendlyButtonNames();
  const char* GetFirstButtonName();
  const char* GetNextButtonName();
  const char* GetButtonName(int index);

  // ---- Result texts ----
  // Never null; reads nothing of the object.
  static const char* GetDIErrorText(HRESULT hr);

  // Fields, in this order.
  CItemCursor m_DeviceCursor;
  CItemCursor m_ButtonCursor;
  bool m_bEnumerated;
  DIJOYSTATE2 m_State;
  GUID m_guidDevice;
  CItemList m_DeviceList;
  CItemList m_ButtonNames;
  BYTE m_Buttons[256];
  HCURSOR m_hCursor;
  HWND m_hWnd;
  bool m_bInitialised;
  HINSTANCE m_hInstance;
  LPDIRECTINPUT7A m_lpDI;
  LPDIRECTINPUTDEVICE7A m_lpDIDevice;
  DWORD m_bForceFeedback;
};

// The enumeration callback; pvRef is the CDIJoystick.
BOOL CALLBACK EnumJoysticksCallback(LPCDIDEVICEINSTANCEA lpddi, LPVOID pvRef);

// Both players' joysticks, player 0 first, built by static construction.
extern CDIJoystick g_Joystick[2];

// Lost-input and not-acquired retries within the current poll.
extern int32_t g_nPollRetries;

// ---- Seams (tests replace them; the defaults are the real calls) ----
typedef HRESULT (WINAPI* DirectInputCreateExFn)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);
typedef void (WINAPI* DebugOutputFn)(LPCSTR);
extern DirectInputCreateExFn g_pfnDirectInputCreateEx;  // DirectInputCreateEx
extern DebugOutputFn g_pfnDebugOutput;                  // OutputDebugStringA
