// The game's sounds, synthesised in code at start-up into one block of
// memory: one mono 16-bit clip per sound event, panned when it is mixed.
#pragma once

#include <cstdint>

#include "engine/host.h"

constexpr int32_t SOUND_RATE = 44100;                    // samples a second, also the output's
constexpr int32_t SOUND_BANK_SAMPLES = SOUND_RATE * 4;   // room for every clip, about 3.7 s used
// The loudest a single clip may be: two at full height still fit, more go
// through the mixer's limiter.
constexpr int32_t SOUND_CLIP_PEAK = 16000;

struct SoundBank {
  int16_t samples[SOUND_BANK_SAMPLES];
  int32_t start[SOUND_EVENTS];   // first sample of each event's clip
  int32_t length[SOUND_EVENTS];  // its length in samples (0 before synthesis)
  int32_t used;                  // samples filled
};

extern SoundBank soundBank;

// Fills soundBank: every clip, each scaled to its own height. Runs once at
// start-up (the sound thread's first work); the same bytes every time.
void SynthesiseSounds();

// The clip of event e (nullptr and 0 for a value outside the enumeration).
const int16_t* SoundClip(SoundEvent e, int32_t& length);
