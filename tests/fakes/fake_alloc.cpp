// Replaces the global operator new for programs that link the fake, so that
// tests can count allocations and make one fail on request.
#include "tests/fakes/fake_dinput.h"

#include <cstdlib>
#include <new>

namespace fakedi {

namespace {
AllocationHooks g_Allocations;  // constant-initialised: usable before any constructor

// Null when the armed failure is due, else fresh memory (never null for n = 0).
void* Allocate(std::size_t n) {
  if (g_Allocations.suspended > 0) return std::malloc(n ? n : 1);
  if (g_Allocations.failAfter == 0) {
    g_Allocations.failAfter = -1;
    ++g_Allocations.failed;
    return nullptr;
  }
  if (g_Allocations.failAfter > 0) --g_Allocations.failAfter;
  ++g_Allocations.count;
  return std::malloc(n ? n : 1);
}
}  // namespace

AllocationHooks& Allocations() { return g_Allocations; }

void Free(void* p) {
  if (p == nullptr) return;
  if (g_Allocations.suspended == 0) ++g_Allocations.freed;
  std::free(p);
}

}  // namespace fakedi

void* operator new(std::size_t n) {
  void* p = fakedi::Allocate(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t n) {
  void* p = fakedi::Allocate(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return fakedi::Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return fakedi::Allocate(n); }
void operator delete(void* p) noexcept { fakedi::Free(p); }
void operator delete[](void* p) noexcept { fakedi::Free(p); }
void operator delete(void* p, std::size_t) noexcept { fakedi::Free(p); }
void operator delete[](void* p, std::size_t) noexcept { fakedi::Free(p); }
