// Xorshift64 (shifts 13, 7, 17): the small generator of the simulator's
// random player, the relay's impairments and the tests' random play. The
// engine's own piece streams do not use it; it sits here, header only,
// because everything that needs it may include engine/.
#pragma once

#include <cstdint>

struct Xorshift64 {
  uint64_t state;  // never 0: xorshift would stay there

  // The next number from 0 to n - 1 (n at least 1).
  uint32_t Below(uint32_t n) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state % n);
  }
};
