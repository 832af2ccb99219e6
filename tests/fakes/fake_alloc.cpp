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
  ++g_Allocations.count;
  if (g_Allocations.failAfter == 0) {
    g_Allocations.failAfter = -1;
    return nullptr;
  }
  if (g_Allocations.failAfter > 0) --g_Allocations.failAfter;
  return std::malloc(n ? n : 1);
}
}  // namespace

AllocationHooks& Allocations() { return g_Allocations; }

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
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
