// The synthesis: each sound is a few notes (sine or triangle), glides and
// filtered noise, each with an attack and a decay to silence, summed and
// scaled to the sound's height.
#include "sound/sound_bank.h"

#include <cmath>

SoundBank soundBank;

namespace {

enum class Wave { Sine, Triangle, Noise };

// One part of a sound. A tone glides from `from` to `to` Hz; for noise
// `from` is the low-pass filter's corner. Times in milliseconds.
struct Partial {
  Wave wave;
  float atMs;
  float lengthMs;
  float from;
  float to;
  float level;
};

struct Recipe {
  float lengthMs;
  float height;  // the clip's peak as a share of SOUND_CLIP_PEAK
  int count;
  Partial parts[8];
};

constexpr float C4 = 261.63f, EF4 = 311.13f, G3 = 196.0f, G4 = 392.0f, C5 = 523.25f, E5 = 659.26f,
                G5 = 783.99f, A5 = 880.0f, B5 = 987.77f, D5 = 587.33f, C6 = 1046.5f, D6 = 1174.66f;
// Only the four-row clear holds E6: a listener, or a test, can pick it out.
constexpr float E6 = 1318.51f;

// Indexed by SoundEvent. The bigger the clear, the longer, fuller and
// louder its sound.
const Recipe RECIPES[SOUND_EVENTS] = {
    // PieceLocked: a short low knock.
    {90, 0.45f, 2, {{Wave::Sine, 0, 90, 160, 80, 1.0f}, {Wave::Noise, 0, 35, 1800, 0, 0.5f}}},
    // OneRow
    {160, 0.55f, 1, {{Wave::Triangle, 0, 160, G5, G5, 1.0f}}},
    // TwoRows
    {250, 0.65f, 2, {{Wave::Triangle, 0, 130, G5, G5, 1.0f}, {Wave::Triangle, 80, 170, B5, B5, 1.0f}}},
    // ThreeRows
    {360,
     0.8f,
     4,
     {{Wave::Triangle, 0, 200, G5, G5, 1.0f},
      {Wave::Triangle, 70, 200, B5, B5, 1.0f},
      {Wave::Triangle, 140, 220, D6, D6, 1.0f},
      {Wave::Noise, 140, 200, 6000, 0, 0.25f}}},
    // FourRows: a rising arpeggio into a held chord with a shimmer.
    {720,
     1.0f,
     8,
     {{Wave::Triangle, 0, 160, C5, C5, 1.0f},
      {Wave::Triangle, 60, 160, E5, E5, 1.0f},
      {Wave::Triangle, 120, 160, G5, G5, 1.0f},
      {Wave::Triangle, 180, 540, C6, C6, 0.8f},
      {Wave::Sine, 240, 480, C5, C5, 0.7f},
      {Wave::Sine, 240, 480, G5, G5, 0.6f},
      {Wave::Sine, 240, 480, E6, E6, 0.9f},
      {Wave::Noise, 200, 500, 7000, 0, 0.2f}}},
    // GarbageArrived: a falling rumble.
    {230, 0.6f, 2, {{Wave::Triangle, 0, 230, 120, 60, 1.0f}, {Wave::Noise, 0, 160, 700, 0, 0.7f}}},
    // PreviewBlank: a soft falling glide.
    {280, 0.4f, 1, {{Wave::Sine, 0, 280, A5, 330, 1.0f}}},
    // PlayerOut: a slow falling minor line.
    {950,
     0.8f,
     4,
     {{Wave::Triangle, 0, 400, G4, G4, 1.0f},
      {Wave::Triangle, 160, 400, EF4, EF4, 1.0f},
      {Wave::Triangle, 320, 400, C4, C4, 1.0f},
      {Wave::Triangle, 480, 470, G3, G3, 1.0f}}},
    // MatchStarted
    {460,
     0.6f,
     3,
     {{Wave::Triangle, 0, 160, G4, G4, 1.0f}, {Wave::Triangle, 130, 330, D5, D5, 1.0f},
      {Wave::Sine, 130, 330, 2 * G4, 2 * G4, 0.5f}}},
    // PauseStarted: down.
    {170, 0.4f, 2, {{Wave::Sine, 0, 90, A5, A5, 1.0f}, {Wave::Sine, 75, 95, E5, E5, 1.0f}}},
    // PauseEnded: up.
    {170, 0.4f, 2, {{Wave::Sine, 0, 90, E5, E5, 1.0f}, {Wave::Sine, 75, 95, A5, A5, 1.0f}}},
};

constexpr float TWO_PI = 6.28318531f;

int32_t Samples(float ms) { return static_cast<int32_t>(ms * SOUND_RATE / 1000.0f); }

// A quick rise (no click at the start) and a decay that reaches zero at the
// end (no click there either).
float Envelope(int32_t n, int32_t length) {
  const int32_t attack = Samples(4);
  const float rise = n < attack ? static_cast<float>(n) / attack : 1.0f;
  const float left = 1.0f - static_cast<float>(n) / length;
  return rise * left * left;
}

// Adds one partial into the clip at `out` (`room` samples).
void AddPartial(const Partial& part, float* out, int32_t room) {
  const int32_t first = Samples(part.atMs);
  const int32_t length = Samples(part.lengthMs);
  float phase = 0.0f;
  // Fixed noise, so the bank is the same bytes every run.
  uint32_t seed = 0x2545F491u;
  float filtered = 0.0f;
  const float corner = 1.0f - std::exp(-TWO_PI * part.from / SOUND_RATE);
  for (int32_t n = 0; n < length && first + n < room; ++n) {
    float value;
    if (part.wave == Wave::Noise) {
      seed = seed * 1664525u + 1013904223u;
      const float white = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
      filtered += corner * (white - filtered);
      value = filtered;
    } else {
      const float f = part.from + (part.to - part.from) * n / length;
      phase += f / SOUND_RATE;
      phase -= std::floor(phase);
      value = part.wave == Wave::Sine ? std::sin(TWO_PI * phase) : 4.0f * std::fabs(phase - 0.5f) - 1.0f;
    }
    out[first + n] += part.level * Envelope(n, length) * value;
  }
}

}  // namespace

void SynthesiseSounds() {
  static_assert(sizeof RECIPES / sizeof RECIPES[0] == SOUND_EVENTS, "one recipe per sound event");
  float clip[SOUND_RATE];  // one second: the longest sound fits
  soundBank.used = 0;
  for (int32_t e = 0; e < SOUND_EVENTS; ++e) {
    const Recipe& recipe = RECIPES[e];
    int32_t length = Samples(recipe.lengthMs);
    if (length > SOUND_RATE) length = SOUND_RATE;
    if (length > SOUND_BANK_SAMPLES - soundBank.used) length = SOUND_BANK_SAMPLES - soundBank.used;
    for (int32_t n = 0; n < length; ++n) clip[n] = 0.0f;
    for (int i = 0; i < recipe.count; ++i) AddPartial(recipe.parts[i], clip, length);
    float peak = 0.0f;
    for (int32_t n = 0; n < length; ++n) peak = std::fmax(peak, std::fabs(clip[n]));
    const float scale = peak > 0.0f ? recipe.height * SOUND_CLIP_PEAK / peak : 0.0f;
    int16_t* out = soundBank.samples + soundBank.used;
    for (int32_t n = 0; n < length; ++n) out[n] = static_cast<int16_t>(std::lround(clip[n] * scale));
    soundBank.start[e] = soundBank.used;
    soundBank.length[e] = length;
    soundBank.used += length;
  }
}

const int16_t* SoundClip(SoundEvent e, int32_t& length) {
  const int32_t i = static_cast<int32_t>(e);
  if (i < 0 || i >= SOUND_EVENTS) {
    length = 0;
    return nullptr;
  }
  length = soundBank.length[i];
  return soundBank.samples + soundBank.start[i];
}
