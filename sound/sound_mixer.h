// The mixer: the voices that are sounding, panned by player, summed through
// a limiter into 16-bit stereo; and the queue of sounds asked for, which the
// window's thread fills and the sound thread empties. Fixed records only:
// nothing is allocated while sounds play.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/host.h"

constexpr int32_t MIXER_VOICES = 12;       // sounds at once; the oldest gives way to a new one
constexpr int32_t MIXER_CHUNK_FRAMES = 256;  // the limiter's step
constexpr int32_t SOUND_QUEUE = 64;        // requests waiting; more are dropped
// The limiter keeps every output sample within this.
constexpr int32_t MIXER_CEILING = 29000;

// Gains of a voice heard from player 0's side, the middle, player 1's side.
struct PanGains {
  float left;
  float right;
};
PanGains PanFor(int p);

struct Voice {
  bool playing;
  int32_t sound;     // SoundEvent value
  int32_t position;  // next sample of the clip
  PanGains gains;
};

// One asked-for sound: a player (or MATCH_WIDE) and an event, or -1 to
// silence every voice; `stamp` is the asker's clock, handed back when the
// sound starts (for the event-to-sound figure).
struct SoundRequest {
  int32_t player;
  int32_t event;
  uint64_t stamp;
};

// All zero is a valid state: silent, the queue empty, the limiter at rest.
struct SoundMixer {
  Voice voices[MIXER_VOICES];
  float limiterCut;  // the limiter's gain is 1 - limiterCut
  float sum[2 * MIXER_CHUNK_FRAMES];
  // A single-producer, single-consumer ring: `posted` is written by the
  // window's thread only, `taken` by the sound thread only.
  SoundRequest queue[SOUND_QUEUE];
  std::atomic<uint32_t> posted;
  std::atomic<uint32_t> taken;
};

extern SoundMixer soundMixer;

// Every voice free, the queue empty, the limiter at rest.
void ResetMixer();

// The window's thread: asks for event e from player p's side (MATCH_WIDE:
// centred). False when the queue is full (the sound is dropped).
bool PostSound(int p, SoundEvent e, uint64_t stamp);
// The window's thread: ends every sounding voice (the switch turned off).
bool PostSilence();

// The sound thread: starts what was asked for, then mixes `frames` stereo
// frames into out (2 * frames samples, left first). Returns the smallest
// stamp of the sounds started here, 0 when none started.
uint64_t MixSound(int16_t* out, int32_t frames);
// The sound thread: no voice sounds and no request waits.
bool MixerQuiet();
// The sound thread, the device closed: when no voice sounds, takes the
// silences at the head of the queue (they would change nothing); then
// MixerQuiet. A sound behind a silence still waits for MixSound.
bool SettleQuiet();
