// The piece streams: one generator with a fixed recurrence behind two player
// streams and the shared stream.
#include <cassert>

#include "engine/engine.h"

uint32_t randState;

namespace {

// One step of the recurrence; the value is bits 16 to 30 of the new state.
int32_t NextValue() {
  randState = randState * 214013u + 2531011u;
  return static_cast<int32_t>((randState >> 16) & 0x7FFFu);
}

}  // namespace

int RandomDraw(int stream, int n) {
  assert(n >= 1);
  if (!gameState.rngSeeded) {
    // The seed is the tick count's bit pattern: a count past 2^31 ms (about
    // 25 days of uptime) is negative as int32 and still seeds the same chain.
    uint32_t tick = ReadTickCount();
    gameState.rngSeed[0] = static_cast<int32_t>(tick);
    gameState.rngSeed[1] = static_cast<int32_t>(tick);
    randState = tick;
    gameState.rngSeeded = true;
  }
  int32_t r;
  if (stream == 0 || stream == 1) {
    randState = static_cast<uint32_t>(gameState.rngSeed[stream]);
    r = NextValue();
    gameState.rngSeed[stream] = r;
  } else {
    r = NextValue();
  }
  // 64-bit product: r * n overflows 32 bits once n passes 65538.
  int64_t scaled = static_cast<int64_t>(r) * n / 32767;
  return scaled > n - 1 ? n - 1 : static_cast<int>(scaled);
}
