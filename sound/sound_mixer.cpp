// Mixing: the queued requests become voices, the voices are summed in
// floating point, and a limiter scales a chunk down whenever its peak would
// pass the ceiling, recovering slowly, so that no number of sounds clips.
#include "sound/sound_mixer.h"

#include <cmath>

#include "sound/sound_bank.h"

SoundMixer soundMixer;

namespace {

// The limiter's recovery per chunk (about 6 ms): the cut shrinks by 5 %.
constexpr float LIMITER_RELEASE = 0.95f;

bool Post(int32_t player, int32_t event, uint64_t stamp) {
  const uint32_t posted = soundMixer.posted.load(std::memory_order_relaxed);
  if (posted - soundMixer.taken.load(std::memory_order_acquire) >= SOUND_QUEUE) return false;
  soundMixer.queue[posted % SOUND_QUEUE] = SoundRequest{player, event, stamp};
  soundMixer.posted.store(posted + 1, std::memory_order_release);
  return true;
}

// A free voice, or the one that has played longest.
Voice& VoiceFor() {
  Voice* oldest = &soundMixer.voices[0];
  for (Voice& v : soundMixer.voices) {
    if (!v.playing) return v;
    if (v.position > oldest->position) oldest = &v;
  }
  return *oldest;
}

uint64_t StartRequested() {
  uint64_t first = 0;
  const uint32_t posted = soundMixer.posted.load(std::memory_order_acquire);
  uint32_t taken = soundMixer.taken.load(std::memory_order_relaxed);
  for (; taken != posted; ++taken) {
    const SoundRequest r = soundMixer.queue[taken % SOUND_QUEUE];
    if (r.event < 0) {
      for (Voice& v : soundMixer.voices) v.playing = false;
      continue;
    }
    if (r.event >= SOUND_EVENTS) continue;
    Voice& v = VoiceFor();
    v = Voice{true, r.event, 0, PanFor(r.player)};
    if (first == 0 || r.stamp < first) first = r.stamp;
  }
  soundMixer.taken.store(taken, std::memory_order_release);
  return first;
}

void MixChunk(int16_t* out, int32_t frames) {
  float* sum = soundMixer.sum;
  for (int32_t i = 0; i < 2 * frames; ++i) sum[i] = 0.0f;
  for (Voice& v : soundMixer.voices) {
    if (!v.playing) continue;
    int32_t length = 0;
    const int16_t* clip = SoundClip(static_cast<SoundEvent>(v.sound), length);
    const int32_t n = length - v.position < frames ? length - v.position : frames;
    for (int32_t i = 0; i < n; ++i) {
      const float s = clip[v.position + i];
      sum[2 * i] += s * v.gains.left;
      sum[2 * i + 1] += s * v.gains.right;
    }
    v.position += n;
    if (v.position >= length) v.playing = false;
  }
  float peak = 0.0f;
  for (int32_t i = 0; i < 2 * frames; ++i) peak = std::fmax(peak, std::fabs(sum[i]));
  float& cut = soundMixer.limiterCut;
  if (peak * (1.0f - cut) > MIXER_CEILING) cut = 1.0f - MIXER_CEILING / peak;
  const float gain = 1.0f - cut;
  for (int32_t i = 0; i < 2 * frames; ++i) {
    // lround of a value within the ceiling: the cast cannot overflow.
    const float s = std::fmax(-MIXER_CEILING, std::fmin(MIXER_CEILING, sum[i] * gain));
    out[i] = static_cast<int16_t>(std::lround(s));
  }
  cut *= LIMITER_RELEASE;
}

}  // namespace

PanGains PanFor(int p) {
  // Not fully to one side: a player on headphones still hears both ears.
  if (p == 0) return PanGains{0.9f, 0.25f};
  if (p == 1) return PanGains{0.25f, 0.9f};
  return PanGains{0.65f, 0.65f};
}

void ResetMixer() {
  for (Voice& v : soundMixer.voices) v = Voice{};
  soundMixer.limiterCut = 0.0f;
  soundMixer.taken.store(soundMixer.posted.load());
}

bool PostSound(int p, SoundEvent e, uint64_t stamp) { return Post(p, static_cast<int32_t>(e), stamp); }

bool PostSilence() { return Post(MATCH_WIDE, -1, 0); }

uint64_t MixSound(int16_t* out, int32_t frames) {
  const uint64_t first = StartRequested();
  while (frames > 0) {
    const int32_t n = frames < MIXER_CHUNK_FRAMES ? frames : MIXER_CHUNK_FRAMES;
    MixChunk(out, n);
    out += 2 * n;
    frames -= n;
  }
  return first;
}

bool MixerQuiet() {
  for (const Voice& v : soundMixer.voices) {
    if (v.playing) return false;
  }
  return soundMixer.taken.load(std::memory_order_relaxed) == soundMixer.posted.load(std::memory_order_acquire);
}

bool SettleQuiet() {
  for (const Voice& v : soundMixer.voices) {
    if (v.playing) return false;
  }
  const uint32_t posted = soundMixer.posted.load(std::memory_order_acquire);
  uint32_t taken = soundMixer.taken.load(std::memory_order_relaxed);
  while (taken != posted && soundMixer.queue[taken % SOUND_QUEUE].event < 0) ++taken;
  soundMixer.taken.store(taken, std::memory_order_release);
  return taken == posted;
}
