// Fuzz target: the datagram reader on any bytes (what it accepts must write
// back to the same bytes), then the same bytes given to a host and a joiner
// in the middle of a match, whose frames are then run out.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/host.h"
#include "net/net_session.h"

namespace {

const NetAddress HOST = Ipv4Address(0x7F000001, 42000);
const NetAddress JOINER = Ipv4Address(0x7F000001, 42001);
constexpr uint32_t SESSION = 1;  // the host's number, as the dictionary has it

// The two sessions' datagrams, handed straight to the other side (a few at
// most are in flight during the handshake).
struct Link {
  NetSession* to;
  NetAddress from;
  uint32_t nowMs;
};
Link toJoiner, toHost;

bool Hand(void* context, const NetAddress&, const uint8_t* data, size_t size) {
  const Link& l = *static_cast<Link*>(context);
  NetReceive(*l.to, l.from, data, size, l.nowMs);
  return true;
}

Action Left(void*, int32_t) { return Action::Left; }
bool RunNothing(void*, const NetFrame&) { return true; }

// Both sides through the handshake into the first frames, as two programs.
void Connect(NetSession& host, NetSession& joiner, uint32_t nowMs) {
  NetOptions options = DefaultNetOptions();
  options.forcedDelay = 3;
  options.fixedSession = SESSION;
  toJoiner = {&joiner, HOST, nowMs};
  toHost = {&host, JOINER, nowMs};
  NetBeginHost(host, options, Hand, &toJoiner, nowMs);
  NetBeginJoin(joiner, HOST, options, Hand, &toHost, nowMs);
  for (int i = 0; i < 8 && NetSessionStats(host).phase != NetPhase::Playing; ++i) NetService(joiner, nowMs);
}

}  // namespace

// The engine's host: nothing drawn, no input.
void ArmGravityTimer(int, uint32_t) {}
void ShowLabels(int, const char*, const char*) {}
void RequestRepaint() {}
Action ActionSource(int) { return Action::NoAction; }
void ClearWellImage(int) {}
void DrawTitle(int) {}
void DrawPlayer(int) {}
void DrawSwapBox() {}
uint32_t ReadTickCount() { return 1; }
void PlaySoundEvent(int, SoundEvent) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NetDatagram d;
  if (ReadDatagram(data, size, d) == NetReadResult::Ok) {
    uint8_t again[NET_MAX_DATAGRAM];
    const int32_t count = d.count;
    const size_t n = WriteDatagram(d, again, sizeof again);
    if (d.count != count || n != size || std::memcmp(again, data, size) != 0) __builtin_trap();
  }
  NetSession& host = NetSessionRecord(1);
  NetSession& joiner = NetSessionRecord(2);
  Connect(host, joiner, 1000);
  const NetFrameCalls calls = {nullptr, Left, RunNothing};
  NetRunFrames(host, 1040, 4, calls);
  NetRunFrames(joiner, 1040, 4, calls);
  NetReceive(host, JOINER, data, size, 1041);
  NetReceive(joiner, HOST, data, size, 1041);
  NetSession* const sides[2] = {&host, &joiner};
  for (NetSession* s : sides) {
    NetRunFrames(*s, 1000 + 10 * NET_RING, 2 * NET_RING, calls);
    NetService(*s, 1003);
    NetService(*s, 1000 + NET_SILENCE_MS + 1);
    NetFinish(*s, 1000 + NET_SILENCE_MS + 2);
  }
  return 0;
}
