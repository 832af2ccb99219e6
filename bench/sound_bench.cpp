// The sound thread's work: making every sound once at start-up, and one
// 10 ms block of the mix (441 stereo frames), silent or with every voice
// playing through the limiter.
#include <benchmark/benchmark.h>

#include "sound/sound_bank.h"
#include "sound/sound_mixer.h"

// Not called: the mixer needs nothing of the engine but its event names.
void PlaySoundEvent(int, SoundEvent) {}

namespace {

void BM_SynthesiseSounds(benchmark::State& state) {
  for (auto _ : state) {
    SynthesiseSounds();
    benchmark::DoNotOptimize(soundBank.samples[soundBank.used / 2]);
  }
}
BENCHMARK(BM_SynthesiseSounds)->Unit(benchmark::kMillisecond);

void BM_MixBlock(benchmark::State& state) {
  SynthesiseSounds();
  ResetMixer();
  int16_t block[2 * 441];
  const int voices = static_cast<int>(state.range(0));
  for (auto _ : state) {
    // Keeps `voices` sounds going: the longest one, restarted as it ends.
    for (int v = 0; v < voices; ++v) {
      if (!soundMixer.voices[v].playing) soundMixer.voices[v] = Voice{true, 7, 0, PanFor(v % 3 - 1)};
    }
    MixSound(block, 441);
    benchmark::DoNotOptimize(block);
  }
}
BENCHMARK(BM_MixBlock)->Arg(0)->Arg(1)->Arg(MIXER_VOICES);

}  // namespace

BENCHMARK_MAIN();
