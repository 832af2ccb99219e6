// CItemList and CItemCursor: the joystick class's doubly linked list of data
// pointers and its walking position.
#include "joystick/di_joystick.h"

#include <new>

CItemList::CItemList() : m_pFirst(nullptr) {}

CItemList::~CItemList() { RemoveAll(); }

bool CItemList::Append(void* data) {
  CItemEntry* last = m_pFirst;
  while (last != nullptr && last->m_pNext != nullptr) last = last->m_pNext;
  CItemEntry* entry = new (std::nothrow) CItemEntry{data, nullptr, last};
  if (entry == nullptr) return false;
  if (last == nullptr) {
    m_pFirst = entry;
  } else {
    last->m_pNext = entry;
  }
  return true;
}

void CItemList::RemoveAll() {
  CItemEntry* entry = m_pFirst;
  m_pFirst = nullptr;
  while (entry != nullptr) {
    CItemEntry* next = entry->m_pNext;
    delete entry;
    entry = next;
  }
}

CItemCursor::CItemCursor() : m_pCurrent(nullptr), m_pList(nullptr) {}

void CItemCursor::Attach(CItemList* list) {
  m_pList = list;
  m_pCurrent = nullptr;
}

void* CItemCursor::GetNext() {
  if (m_pCurrent == nullptr) {
    m_pCurrent = m_pList != nullptr ? m_pList->m_pFirst : nullptr;
  } else {
    m_pCurrent = m_pCurrent->m_pNext;
  }
  return m_pCurrent != nullptr ? m_pCurrent->m_pData : nullptr;
}
