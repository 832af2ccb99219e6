// Timed loop: polls per second of an acquired joystick on the fake device,
// and the allocations the loop made (there should be none).
#include "tests/fakes/fake_dinput.h"

#include <cstdio>

int main() {
  fakedi::Reset();
  fakedi::FakeJoystick& pad = fakedi::AddJoystick(fakedi::MakeGuid(1), "Bench Pad");
  pad.AddButtons(12);
  fakedi::Install();
  fakedi::RebuildJoystick(0);
  CDIJoystick& joy = g_Joystick[0];
  joy.SelectDevice(&pad.guidInstance);
  joy.PollDevice();  // opens
  if (!joy.PollDevice()) {  // acquires and reads
    std::printf("joystick_poll_bench: the fake device did not read\n");
    return 1;
  }
  LARGE_INTEGER freq, start, end;
  QueryPerformanceFrequency(&freq);
  const long polls = 2000000;
  long read = 0;
  long long allocationsBefore = fakedi::Allocations().count;
  QueryPerformanceCounter(&start);
  for (long i = 0; i < polls; ++i) {
    pad.state.lX = static_cast<LONG>(i & 0x1FFF);
    pad.state.rgbButtons[i & 127] ^= 0x80;
    read += joy.PollDevice();
  }
  QueryPerformanceCounter(&end);
  long long allocations = fakedi::Allocations().count - allocationsBefore;
  double seconds = double(end.QuadPart - start.QuadPart) / double(freq.QuadPart);
  std::printf("PollDevice on the fake device: %ld polls in %.3f s = %.0f polls/s "
              "(%.1f ns per poll), %ld read, %lld allocations\n",
              polls, seconds, polls / seconds, seconds * 1e9 / polls, read, allocations);
  joy.Shutdown();
  fakedi::Restore();
  return read == polls && allocations == 0 ? 0 : 1;
}
