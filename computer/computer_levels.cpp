// The computer's levels: the table of limits each level's steering obeys,
// and the generator behind a level's misjudgements.
#include "computer/computer_player.h"

#include "computer/computer_internal.h"
#include "engine/engine.h"
#include "engine/xorshift.h"

namespace {

// Reaction and pace after people's: about 0.5 to 1 piece a second and a
// reaction of 200 to 300 ms for casual players, 1.5 to 2 pieces for good
// club players, 3 to 4 at the very top, and at most 8 to 12 keys a second.
// Level 5 is the computer unbound: it presses on the first frame it can.
const ComputerLevel LEVELS[COMPUTER_LEVEL_MAX] = {
    // react garbage gap  hardDrop swap   preview worse% among
    {60, 60, 23, true, false, false, 40, 5},  // 1: beginner
    {40, 40, 15, true, false, true, 25, 4},   // 2: casual
    {25, 25, 10, true, true, true, 12, 3},    // 3: club
    {15, 15, 6, true, true, true, 5, 2},      // 4: expert
    {1, 1, 0, true, true, true, 0, 1},        // 5: machine
};

}  // namespace

const ComputerLevel& ComputerLevelRules(int32_t level) {
  if (level < COMPUTER_LEVEL_MIN || level > COMPUTER_LEVEL_MAX) level = COMPUTER_LEVEL_MAX;
  return LEVELS[level - 1];
}

namespace computer_detail {

// splitmix64: neighbouring seeds give unrelated draws.
uint32_t DrawBelow(uint64_t& state, uint32_t n) { return static_cast<uint32_t>((NextSplitMix64(state) >> 32) % n); }

}  // namespace computer_detail
