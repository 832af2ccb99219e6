// Heap allocations in the ticks and in a network session's polls: the
// global allocation functions are replaced in this executable so that every
// one is counted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "computer/computer_player.h"
#include "net/net_session.h"
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

// The computer plays both players: its plans and presses allocate nothing.
TEST(Allocations, NoneInTheComputersFrames) {
  StartTestMatch(2024);
  ResetComputer();
  counting = true;
  for (int t = 0; t < 3000; ++t) {
    testHost.held[0] = ComputerAction(0);
    testHost.held[1] = ComputerAction(1);
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
TEST(Allocations, NoneInANetworkSessionsPollsAndFrames) {
  char error[128];
  ASSERT_TRUE(BeginSockets(error, sizeof error)) << error;
  static NetSession host, join;
  uint16_t port = 0;
  for (uint16_t p = 42150; p < 42160 && port == 0; ++p) {
    if (NetHost(host, p, DefaultNetOptions(), MonotonicMs())) port = p;
  }
  ASSERT_NE(0, port) << host.endText;
  ASSERT_TRUE(NetJoin(join, NetAddress{0x7F000001, port}, DefaultNetOptions(), MonotonicMs())) << join.endText;
  StartTestMatch(77);
  counting = true;
  const uint32_t began = MonotonicMs();
  while ((host.frame < 300 || join.frame < 300) && MonotonicMs() - began < 5000) {
    for (NetSession* s : {&host, &join}) {
      NetPoll(*s, MonotonicMs());
      if (NetWantsLocal(*s)) NetSubmitLocal(*s, Action::Left, MonotonicMs());
      NetFrame f;
      if (NetNextFrame(*s, f)) NetFrameDone(*s, MonotonicMs());
    }
  }
  counting = false;
  EXPECT_EQ(0, allocations);
  EXPECT_LE(300u, host.frame) << host.endText;
  EXPECT_LE(300u, join.frame) << join.endText;
  EXPECT_EQ(0u, host.counters.dropped[static_cast<int>(NetDrop::Frames)]);
  NetLeave(join, MonotonicMs());
  NetLeave(host, MonotonicMs());
  EndSockets();
}
