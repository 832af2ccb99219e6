// The sound thread: waveOut with an event callback, blocks refilled from the
// mixer as waveOut hands them back.
#include "sound/wave_output.h"

#include <cstdio>

#include "sound/sound_mixer.h"

WaveOutput waveOutput;

namespace {

// How long shutdown waits for the thread to close the device: well past the
// tenth of a second or so a close takes under Wine.
constexpr DWORD STOP_WAIT_MS = 3000;

void DebugLine(const char* what, MMRESULT code) {
  char line[160];
  std::snprintf(line, sizeof line, "BlockTide: no sound: %s failed (error %u)\n", what,
                static_cast<unsigned>(code));
  OutputDebugStringA(line);
}

// The flags are written by waveOut's own thread.
bool BlockDone(const WAVEHDR& h) {
  return (*static_cast<volatile const DWORD*>(&h.dwFlags) & WHDR_DONE) != 0;
}

// Mixes block i and hands it to waveOut; `ahead` blocks are still queued
// before it.
MMRESULT Play(int i, int ahead) {
  WaveOutput& w = waveOutput;
  const uint64_t first = MixSound(w.blocks[i], OUTPUT_BLOCK_FRAMES);
  const MMRESULT r = waveOutWrite(w.device, &w.headers[i], sizeof(WAVEHDR));
  if (first > w.openedAt && w.ticksPerSecond != 0) {
    const uint64_t now = SoundStamp();
    const double ms = (now > first ? now - first : 0) * 1000.0 / w.ticksPerSecond + ahead * 10.0;
    w.soundsTimed += 1;
    w.delaySumMs += ms;
    if (ms > w.delayMaxMs) w.delayMaxMs = ms;
    if (ms > 40.0) w.soundsLate += 1;
  }
  return r;
}

void CloseDevice(int prepared) {
  WaveOutput& w = waveOutput;
  waveOutReset(w.device);
  for (int i = 0; i < prepared; ++i) waveOutUnprepareHeader(w.device, &w.headers[i], sizeof(WAVEHDR));
  waveOutClose(w.device);
}

// Opens the device with the blocks prepared; on a failure, `call` names the
// call and nothing stays open.
MMRESULT OpenDevice(const char*& call) {
  WaveOutput& w = waveOutput;
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = SOUND_RATE;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = SOUND_RATE * 4;
  call = "waveOutOpen";
  MMRESULT r =
      waveOutOpen(&w.device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(w.wake), 0, CALLBACK_EVENT);
  if (r != MMSYSERR_NOERROR) return r;
  call = "waveOutPrepareHeader";
  for (int i = 0; i < OUTPUT_BLOCKS; ++i) {
    WAVEHDR& h = w.headers[i];
    h = WAVEHDR{};
    h.lpData = reinterpret_cast<LPSTR>(w.blocks[i]);
    h.dwBufferLength = sizeof w.blocks[i];
    r = waveOutPrepareHeader(w.device, &h, sizeof h);
    if (r != MMSYSERR_NOERROR) {
      CloseDevice(i);
      return r;
    }
  }
  return MMSYSERR_NOERROR;
}

DWORD WINAPI SoundThread(void*) {
  WaveOutput& w = waveOutput;
  SynthesiseSounds();
  ResetMixer();
  // Missed blocks would be heard as gaps: the thread runs ahead of the game.
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  // Opened once at start-up to learn whether there is a device, then closed:
  // under Wine an open device costs a few percent of a core even paused, so
  // it is open only while something sounds.
  const char* call = "";
  MMRESULT r = OpenDevice(call);
  if (r == MMSYSERR_NOERROR) CloseDevice(OUTPUT_BLOCKS);
  w.openedAt = SoundStamp();
  bool open = false;
  bool written[OUTPUT_BLOCKS] = {};
  auto available = [&](int i) { return !written[i] || BlockDone(w.headers[i]); };
  int next = 0;
  while (r == MMSYSERR_NOERROR && !w.stopping.load()) {
    WaitForSingleObject(w.wake, open ? 100 : 1000);
    if (w.stopping.load()) break;
    if (!open) {
      // A silence asked for while nothing sounds (the switch turned off) is
      // no reason to open the device.
      if (SettleQuiet()) continue;
      r = OpenDevice(call);
      if (r != MMSYSERR_NOERROR) break;
      open = true;
      for (bool& b : written) b = false;
    }
    // The queued blocks play out; no new one is mixed once all is quiet.
    for (int k = 0; k < OUTPUT_BLOCKS && r == MMSYSERR_NOERROR && available(next) && !MixerQuiet(); ++k) {
      int ahead = 0;
      for (int i = 0; i < OUTPUT_BLOCKS; ++i) ahead += i != next && !available(i);
      call = "waveOutWrite";
      r = Play(next, ahead);
      written[next] = true;
      next = (next + 1) % OUTPUT_BLOCKS;
    }
    bool drained = MixerQuiet();
    for (int i = 0; i < OUTPUT_BLOCKS; ++i) drained = drained && available(i);
    if (drained || r != MMSYSERR_NOERROR) {
      CloseDevice(OUTPUT_BLOCKS);
      open = false;
    }
  }
  if (r != MMSYSERR_NOERROR) DebugLine(call, r);
  if (open) CloseDevice(OUTPUT_BLOCKS);
  return 0;
}

}  // namespace

uint64_t SoundStamp() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<uint64_t>(now.QuadPart);
}

void StartSoundOutput() {
  WaveOutput& w = waveOutput;
  LARGE_INTEGER frequency;
  w.ticksPerSecond = QueryPerformanceFrequency(&frequency) ? static_cast<uint64_t>(frequency.QuadPart) : 0;
  w.stopping.store(false);
  w.wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  w.thread = w.wake != nullptr ? CreateThread(nullptr, 0, SoundThread, nullptr, 0, nullptr) : nullptr;
  if (w.thread == nullptr) {
    char line[120];
    std::snprintf(line, sizeof line, "BlockTide: no sound: the sound thread could not start (error %lu)\n",
                  GetLastError());
    OutputDebugStringA(line);
  }
}

void WakeSoundOutput() {
  if (waveOutput.wake != nullptr) SetEvent(waveOutput.wake);
}

void StopSoundOutput() {
  WaveOutput& w = waveOutput;
  if (w.thread == nullptr) {
    if (w.wake != nullptr) CloseHandle(w.wake);
    w.wake = nullptr;
    return;
  }
  w.stopping.store(true);
  SetEvent(w.wake);
  // The thread waits on `wake` until its last call into waveOut (closing
  // the device can take a while under Wine) has returned: the event may be
  // closed only once the thread is gone.
  if (WaitForSingleObject(w.thread, STOP_WAIT_MS) != WAIT_OBJECT_0) {
    // A device that hangs on closing holds the thread inside waveOut, where
    // ending it by force could leave the audio system's locks held. Both
    // handles are left open (leaked) for the process's end, which follows.
    OutputDebugStringA("BlockTide: sound: the sound thread did not end; its handles are left to the exit\n");
    return;
  }
  if (w.soundsTimed != 0) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "BlockTide: sound: %u sounds, event to sound %.1f ms mean, %.1f ms at most, %u over 40 ms\n",
                  w.soundsTimed, w.delaySumMs / w.soundsTimed, w.delayMaxMs, w.soundsLate);
    OutputDebugStringA(line);
  }
  CloseHandle(w.thread);
  w.thread = nullptr;
  CloseHandle(w.wake);
  w.wake = nullptr;
}
