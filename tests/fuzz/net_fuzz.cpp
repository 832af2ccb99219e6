// Fuzz target: the datagram reader on any bytes (what it accepts must write
// back to the same bytes), then the same bytes given to a host and a joiner
// in the middle of a match, whose frames are then run out.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "net/net_internal.h"
#include "net/net_session.h"

namespace {

const NetAddress HOST = {0x7F000001, 42000};
const NetAddress JOINER = {0x7F000001, 42001};

bool Discard(void*, const NetAddress&, const uint8_t*, size_t) { return true; }

void Playing(NetSession& s, bool host) {
  if (host) {
    NetBeginHost(s, DefaultNetOptions(), 1000);
  } else {
    NetBeginJoin(s, HOST, DefaultNetOptions(), 1000);
  }
  s.send = Discard;
  s.peer = host ? JOINER : HOST;
  s.session = 1;
  s.delay = 3;
  s.connected = true;
  s.phase = NetPhase::Playing;
  s.lastHeardMs = 1000;
  BeginLockstep(s);
}

NetSession host, joiner;

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NetDatagram d;
  if (ReadDatagram(data, size, d) == NetReadResult::Ok) {
    uint8_t again[NET_MAX_DATAGRAM];
    const int32_t count = d.count;
    const size_t n = WriteDatagram(d, again, sizeof again);
    if (d.count != count || n != size || std::memcmp(again, data, size) != 0) __builtin_trap();
  }
  Playing(host, true);
  Playing(joiner, false);
  for (int i = 0; i < 4; ++i) {
    NetSubmitLocal(host, Action::Left, 1000);
    NetSubmitLocal(joiner, Action::Right, 1000);
  }
  NetReceive(host, JOINER, data, size, 1001);
  NetReceive(joiner, HOST, data, size, 1001);
  NetFrame f;
  NetSession* const sides[2] = {&host, &joiner};
  for (NetSession* s : sides) {
    for (int i = 0; i < 2 * NET_RING && NetNextFrame(*s, f); ++i) {
      if (NetWantsLocal(*s)) NetSubmitLocal(*s, Action::Fall, 1002);
      NetFrameDone(*s, 1002);
    }
    NetService(*s, 1003);
    NetService(*s, 1000 + NET_SILENCE_MS + 1);
  }
  return 0;
}
