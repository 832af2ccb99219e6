// The friendly button names: built from the device's object information,
// walked by a cursor, looked up by place.
#include "joystick/joystick_internal.h"

#include <cstring>
#include <new>

using joystick_detail::WriteDebug;

namespace {
const size_t NAME_BYTES = 260;  // DIDEVICEOBJECTINSTANCEA::tszName
}

int CDIJoystick::BuildFriendlyButtonNames() {
  ClearFriendlyButtonNames();
  if (!InitDevice()) return 0;
  DIDEVICEOBJECTINSTANCEA object;
  std::memset(&object, 0, sizeof(object));
  object.dwSize = sizeof(object);
  int count = 0;
  for (int i = 0; i < 32; ++i) {
    HRESULT hr = m_lpDIDevice->GetObjectInfo(&object, DIJOFS_BUTTON(i), DIPH_BYOFFSET);
    if (FAILED(hr)) continue;
    ++count;
    char* name = new (std::nothrow) char[NAME_BYTES];
    if (name == nullptr) continue;
    // The device's name may fill the whole field without a terminator.
    size_t length = strnlen(object.tszName, NAME_BYTES - 1);
    std::memcpy(name, object.tszName, length);
    name[length] = '\0';
    if (!m_ButtonNames.Append(name)) delete[] name;
  }
  return count;
}

void CDIJoystick::ClearFriendlyButtonNames() {
  try {
    for (CItemEntry* e = m_ButtonNames.m_pFirst; e != nullptr; e = e->m_pNext) {
      delete[] static_cast<char*>(e->m_pData);
      e->m_pData = nullptr;
    }
    m_ButtonNames.RemoveAll();
  } catch (...) {
    WriteDebug("Some unforseen error occurred in CDIJoystick::ClearFriendlyButtonNames()\n");
  }
  m_ButtonCursor.Reset();  // it may point at a freed entry
}

const char* CDIJoystick::GetFirstButtonName() {
  if (!m_bEnumerated) return nullptr;
  if (m_ButtonNames.IsEmpty()) {
    WriteDebug("Joysticks Have Been Enumerated However None Were Found Attached To This System\n"
               "Therefore I am Returning NULL from CDIJoystick::GetFirstButtonName()\n");
    return nullptr;
  }
  m_ButtonCursor.Reset();
  return static_cast<const char*>(m_ButtonCursor.GetNext());
}

const char* CDIJoystick::GetNextButtonName() {
  if (!m_ButtonCursor.HasCurrent()) return nullptr;
  return static_cast<const char*>(m_ButtonCursor.GetNext());
}

const char* CDIJoystick::GetButtonName(int index) {
  if (index < 0) return nullptr;
  const char* name = GetFirstButtonName();
  for (int step = 0; name != nullptr && step < index; ++step) name = GetNextButtonName();
  return name;
}
