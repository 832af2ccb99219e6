// Benchmarks of the computer player: the plan for one piece (every reachable
// placement of the falling and the swap box's piece, the best few judged with
// the preview's piece), and its per-frame work when the plan stands.
#include <benchmark/benchmark.h>

#include "computer/computer_player.h"
#include "engine/engine.h"

namespace {
uint32_t benchTicks = 1000;
}  // namespace

void ArmGravityTimer(int, uint32_t) {}
void ShowLabels(int, const char*, const char*) {}
void RequestRepaint() {}
Action ActionSource(int p) { return p == 0 ? ComputerAction(0, COMPUTER_LEVEL_MAX) : Action::NoAction; }
void ClearWellImage(int) {}
void DrawTitle(int) {}
void DrawPlayer(int) {}
void DrawSwapBox() {}
void PlaySoundEvent(int, SoundEvent) {}
uint32_t ReadTickCount() { return benchTicks; }

namespace {

// A match from seed, the computer playing player 0 for `frames` frames with
// a gravity tick every 100 frames: a well of the height such play leaves.
void PlayTo(uint32_t seed, int frames) {
  gameState = {};
  benchTicks = seed;
  ResetPlayer(0);
  ResetPlayer(1);
  ResetComputer();
  for (int f = 1; f <= frames && !gameState.gameOver[0]; ++f) {
    FrameTick();
    if (f % 100 == 0) GravityTick(0);
  }
}

// One decision: arg 0 right after the start (empty well), arg 1 mid-game;
// arg 2 mid-game with a blank preview (no look at the next piece).
void BM_PlanPlacement(benchmark::State& state) {
  PlayTo(2024, state.range(0) == 0 ? 0 : 6000);
  if (state.range(0) == 2) gameState.previewBlind[0] = 100;
  for (auto _ : state) {
    benchmark::DoNotOptimize(PlanPlacement(0));
  }
  if (gameState.gameOver[0]) state.SkipWithError("the computer went out");
}
BENCHMARK(BM_PlanPlacement)->Arg(0)->Arg(1)->Arg(2);

// One decision mid-game at each level (arg): the lower levels leave out the
// swap box or the preview and may take a worse placement, here always.
void BM_PlanPlacementAtLevel(benchmark::State& state) {
  PlayTo(2024, 6000);
  ComputerMind& mind = computerState.mind[0];
  mind.level = static_cast<int32_t>(state.range(0));
  mind.worseRank = ComputerLevelRules(mind.level).worseAmong - 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(PlanPlacement(0));
  }
  if (gameState.gameOver[0]) state.SkipWithError("the computer went out");
}
BENCHMARK(BM_PlanPlacementAtLevel)->DenseRange(COMPUTER_LEVEL_MIN, COMPUTER_LEVEL_MAX);

// The frames between decisions: read the well, compare, steer one press.
void BM_ComputerActionSteering(benchmark::State& state) {
  PlayTo(2024, 6000);
  ComputerAction(0, COMPUTER_LEVEL_MAX);  // plans for the piece in hand
  for (auto _ : state) {
    benchmark::DoNotOptimize(ComputerAction(0, COMPUTER_LEVEL_MAX));
  }
}
BENCHMARK(BM_ComputerActionSteering);

}  // namespace

BENCHMARK_MAIN();
