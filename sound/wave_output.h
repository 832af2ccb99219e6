// The Windows output: a thread of its own synthesises the sounds, opens
// waveOut while anything sounds and keeps a few 10 ms blocks of the mix
// queued. The window's thread only posts requests (sound_mixer.h) and
// never waits on audio.
#pragma once

#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <cstdint>

#include "sound/sound_bank.h"

// Queued at once while the device is open: a new sound waits at most one
// block for its turn and plays after the two still queued; when it opens
// the device, it goes out in the first block. Under Wine, two blocks of
// 10 ms, or four of 5 ms, run dry and lose audio.
constexpr int32_t OUTPUT_BLOCKS = 3;
constexpr int32_t OUTPUT_BLOCK_FRAMES = SOUND_RATE / 100;  // 10 ms

struct WaveOutput {
  HANDLE thread;
  HANDLE wake;  // set by waveOut when a block is done, and to stop
  std::atomic<bool> stopping;
  HWAVEOUT device;
  WAVEHDR headers[OUTPUT_BLOCKS];
  int16_t blocks[OUTPUT_BLOCKS][2 * OUTPUT_BLOCK_FRAMES];
  // The event-to-sound figure, written by the sound thread: how long from
  // PlaySoundEvent to the block holding the sound's first sample being
  // handed to waveOut, plus the queued audio that plays before it. Sounds
  // asked for before the device was open wait for the open (a tenth of a
  // second or so under Wine) and are left out.
  uint64_t ticksPerSecond;  // of QueryPerformanceCounter, the stamps' clock
  uint64_t openedAt;        // stamp when waveOutOpen returned
  uint32_t soundsTimed;
  uint32_t soundsLate;  // of those, over 40 ms
  double delaySumMs;
  double delayMaxMs;
};

extern WaveOutput waveOutput;

// The stamp PostSound takes: QueryPerformanceCounter now.
uint64_t SoundStamp();

// The window's thread at start-up: starts the sound thread, which makes the
// sounds and tries the device; nothing is waited for. Without a device, or
// when any waveOut call fails, the game is silent and one debug line says why.
void StartSoundOutput();
// The window's thread after posting a request: a closed device opens again
// for a sound; a silence alone is taken without opening it.
void WakeSoundOutput();
// At shutdown: stops the thread and waits for it to close the device, then
// closes its handles and sends one debug line with the event-to-sound
// figure. A thread that has not ended after 3 s keeps its handles (they are
// leaked to the process's end rather than closed under it).
void StopSoundOutput();
