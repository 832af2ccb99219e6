// The small generators outside the engine's piece streams, in one place:
// Xorshift64 (the simulator's random player, the relay's impairments, the
// tests' random play) and its seeding, a 32-bit xorshift (the network host's
// generator choices) and splitmix64 (the computer's levels, the Winsock
// random number). The engine itself does not use them; they sit here, header
// only, because everything that needs them may include engine/.
#pragma once

#include <cstdint>

// The golden ratio in 64 bits: splitmix64's step and the seeds' offset.
constexpr uint64_t GOLDEN_GAMMA = 0x9e3779b97f4a7c15ull;

// Xorshift64, shifts 13, 7, 17.
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

// A Xorshift64 from a number typed on a command line: neighbouring seeds
// start far apart. Xorshift never leaves 0: the one seed that the mixing
// sends there (15410147969449583195) starts elsewhere.
inline Xorshift64 SeededXorshift64(uint64_t seed) {
  const uint64_t state = seed * 2654435761u + GOLDEN_GAMMA;
  return {state == 0 ? 0x2545F4914F6CDD1Dull : state};
}

// The next number of a 32-bit xorshift (shifts 13, 17, 5), which it steps;
// a state of 0 stays 0.
inline uint32_t NextXorshift32(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

// splitmix64's mixing: the bits of x well mixed, so that neighbouring inputs
// give unrelated outputs.
inline uint64_t MixBits64(uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// The next number of splitmix64: the counter stepped by the golden ratio,
// its value mixed.
inline uint64_t NextSplitMix64(uint64_t& state) {
  state += GOLDEN_GAMMA;
  return MixBits64(state);
}
