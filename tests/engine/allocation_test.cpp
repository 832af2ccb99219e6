// Heap allocations in the ticks, in a network session's polls and in the
// mixer: the global allocation functions are replaced in this executable so
// that every one is counted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "computer/computer_player.h"
#include "net/net_session.h"
#include "sound/sound_bank.h"
#include "sound/sound_mixer.h"
#include "tests/engine/test_host.h"

namespace {
bool counting = false;
long allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (counting) ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (counting) ++allocations;
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

TEST(Allocations, NoneInAThousandTicks) {
  StartTestMatch(1000);
  for (int r = 15; r < 20; ++r) FillRow(0, r, -1, 2);  // an attack on the first frame
  const Action pattern[] = {Action::Left, Action::RotateCW, Action::Right, Action::Swap,
                            Action::SpeedUp, Action::Fall, Action::RotateCCW, Action::NoAction};
  counting = true;
  for (int t = 0; t < 1000; ++t) {
    testHost.held[0] = pattern[(t / 7) % 8];
    testHost.held[1] = pattern[(t / 5 + 3) % 8];
    FrameTick();
    if (t % 3 == 0) GravityTick(0);
    if (t % 4 == 1) GravityTick(1);
  }
  counting = false;
  EXPECT_EQ(0, allocations);
  EXPECT_EQ(1000 + 334 + 250, testHost.repaints) << "every tick ran";
  EXPECT_NE(0, gameState.previewBlind[1] + gameState.forcedDrops[1]) << "the attack happened";
}

// The computer plays both players, the full one and the slowest level: its
// plans and presses allocate nothing.
TEST(Allocations, NoneInTheComputersFrames) {
  StartTestMatch(2024);
  ResetComputer();
  counting = true;
  for (int t = 0; t < 3000; ++t) {
    testHost.held[0] = ComputerAction(0, COMPUTER_LEVEL_MAX);
    testHost.held[1] = ComputerAction(1, COMPUTER_LEVEL_MIN);
    FrameTick();
    if (t % 50 == 0) GravityTick(0);
    if (t % 50 == 0) GravityTick(1);
  }
  counting = false;
  EXPECT_EQ(0, allocations);
  EXPECT_LT(20, computerState.mind[0].plans) << "it planned pieces";
}

// Two network sessions over the loopback interface: polls, inputs, frames
// and digests allocate nothing (under Wine this also runs Winsock).
Action SendLeft(void*, int32_t) { return Action::Left; }
bool RunNothing(void*, const NetFrame&) { return true; }

TEST(Allocations, NoneInANetworkSessionsPollsAndFrames) {
  char error[128];
  ASSERT_TRUE(BeginSockets(error, sizeof error)) << error;
  NetSession& host = NetSessionRecord(1);
  NetSession& join = NetSessionRecord(2);
  uint16_t port = 0;
  for (uint16_t p = 42150; p < 42160 && port == 0; ++p) {
    if (NetHost(host, p, DefaultNetOptions(), MonotonicMs())) port = p;
  }
  ASSERT_NE(0, port) << NetEndText(host);
  ASSERT_TRUE(NetJoin(join, Ipv4Address(0x7F000001, port), DefaultNetOptions(), MonotonicMs())) << NetEndText(join);
  StartTestMatch(77);
  counting = true;
  const uint32_t began = MonotonicMs();
  const NetFrameCalls calls = {nullptr, SendLeft, RunNothing};
  while ((NetSessionStats(host).frames < 300 || NetSessionStats(join).frames < 300) && MonotonicMs() - began < 5000) {
    for (NetSession* s : {&host, &join}) {
      NetPoll(*s, MonotonicMs());
      NetRunFrames(*s, MonotonicMs(), NET_FRAMES_PER_MESSAGE, calls);
    }
  }
  counting = false;
  EXPECT_EQ(0, allocations);
  EXPECT_LE(300u, NetSessionStats(host).frames) << NetEndText(host);
  EXPECT_LE(300u, NetSessionStats(join).frames) << NetEndText(join);
  EXPECT_EQ(0u, NetSessionStats(host).dropped[static_cast<int>(NetDrop::Frames)]);
  NetLeave(join, MonotonicMs());
  NetLeave(host, MonotonicMs());
  EndSockets();
}

// Sounds asked for, started, mixed and limited: nothing allocated.
TEST(Allocations, NoneWhileSoundsPlay) {
  SynthesiseSounds();
  ResetMixer();
  int16_t block[2 * 441];
  int32_t loud = 0;
  counting = true;
  for (int t = 0; t < 500; ++t) {
    PostSound(t % 3 - 1, static_cast<SoundEvent>(t % SOUND_EVENTS), 1 + t);
    if (t % 100 == 99) PostSilence();
    MixSound(block, 441);
    for (int16_t s : block) loud = s > loud ? s : loud;
  }
  counting = false;
  EXPECT_EQ(0, allocations);
  EXPECT_LT(0, loud) << "sounds played";
}
