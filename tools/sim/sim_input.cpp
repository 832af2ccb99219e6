// The input a simulated run plays: the seeded random player or the script.
#include "tools/sim/sim.h"

namespace {

// Moves are the commonest inputs; Pause is left out, it would stall the match.
const Action RANDOM_CHOICES[] = {Action::Left,     Action::Right,   Action::RotateCW, Action::RotateCCW,
                                 Action::SpeedUp,  Action::Fall,    Action::Swap,     Action::NoAction,
                                 Action::NoAction, Action::Left,    Action::Right};

// The random player: holds an input for 1 to 24 frames, then picks another.
Action ChooseRandom(SimInput& in, int p) {
  if (in.left[p] > 0) {
    in.left[p] -= 1;
    return in.current[p];
  }
  in.left[p] = static_cast<int32_t>(in.generator.Below(24));
  return RANDOM_CHOICES[in.generator.Below(sizeof RANDOM_CHOICES / sizeof RANDOM_CHOICES[0])];
}

}  // namespace

void BeginSimInput(SimInput& in, bool random, uint64_t randomSeed, const std::vector<ScriptRun>& runs) {
  in = SimInput{};
  in.random = random;
  in.generator = SeededXorshift64(randomSeed);
  in.current[0] = in.current[1] = Action::NoAction;
  in.runs = &runs;
  in.runLeft = runs.empty() ? 0 : runs[0].frames;
}

void NextSimInput(SimInput& in, Action held[2]) {
  const std::vector<ScriptRun>& runs = *in.runs;
  for (int p = 0; p < 2; ++p) {
    if (in.random) {
      in.current[p] = ChooseRandom(in, p);
    } else {
      in.current[p] = in.run < runs.size() ? runs[in.run].action[p] : Action::NoAction;
    }
    held[p] = in.current[p];
  }
  if (!in.random && in.run < runs.size() && --in.runLeft == 0 && ++in.run < runs.size()) {
    in.runLeft = runs[in.run].frames;
  }
}
