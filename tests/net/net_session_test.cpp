// The network session without sockets: two sessions joined by queues that
// lose, repeat and reorder datagrams on a script. Both sides must hand out
// the same frames, in order, with each side's inputs and events where they
// were sent; refusals and ends must say why.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "net/net_session.h"
#include "replay/recording.h"
#include "tests/engine/test_host.h"

namespace {

const NetAddress HOST_ADDRESS = {0x7F000001, 42000};
const NetAddress JOIN_ADDRESS = {0x7F000001, 42001};

struct Datagram {
  NetAddress to;
  uint32_t dueMs;
  std::vector<uint8_t> bytes;
};

// One direction of the wire: what one side sent, delivered after `latencyMs`
// unless the script loses, repeats or holds it back.
struct Wire {
  std::vector<Datagram> inFlight;
  uint32_t latencyMs = 5;
  uint32_t nowMs = 0;
  int sent = 0;
  bool impair = false;
  int lost = 0, repeated = 0, reordered = 0;
};

bool Send(void* context, const NetAddress& to, const uint8_t* data, size_t size) {
  Wire& w = *static_cast<Wire*>(context);
  const int k = w.sent++;
  Datagram d{to, w.nowMs + w.latencyMs, std::vector<uint8_t>(data, data + size)};
  if (w.impair && k % 7 == 3) {
    w.lost += 1;
    return true;
  }
  // Every 13th comes 25 ms late: behind the next ones.
  if (w.impair && k % 13 == 6) {
    d.dueMs += 25;
    w.reordered += 1;
  }
  w.inFlight.push_back(d);
  if (w.impair && k % 11 == 5) {
    w.inFlight.push_back(d);
    w.repeated += 1;
  }
  return true;
}

void Deliver(Wire& w, NetSession& to, const NetAddress& from, uint32_t nowMs) {
  for (size_t i = 0; i < w.inFlight.size();) {
    if (w.inFlight[i].dueMs > nowMs) {
      ++i;
      continue;
    }
    const Datagram d = w.inFlight[i];
    w.inFlight.erase(w.inFlight.begin() + static_cast<long>(i));
    NetReceive(to, from, d.bytes.data(), d.bytes.size(), nowMs);
  }
}

struct Pair {
  NetSession host{}, join{};
  Wire toJoin, toHost;
  uint32_t nowMs = 1000;

  void Begin(const NetOptions& hostOptions, const NetOptions& joinOptions) {
    NetBeginHost(host, hostOptions, nowMs);
    host.send = Send;
    host.sendContext = &toJoin;
    NetBeginJoin(join, HOST_ADDRESS, joinOptions, nowMs);
    join.send = Send;
    join.sendContext = &toHost;
  }
  // One millisecond of both sides: deliveries, then each side's service.
  void Step() {
    nowMs += 1;
    toHost.nowMs = toJoin.nowMs = nowMs;
    Deliver(toHost, host, JOIN_ADDRESS, nowMs);
    Deliver(toJoin, join, HOST_ADDRESS, nowMs);
    NetService(host, nowMs);
    NetService(join, nowMs);
  }
  void Connect() {
    for (int i = 0; i < 200 && !(host.phase == NetPhase::Playing && join.phase == NetPhase::Playing); ++i) Step();
  }
};

// What each side saw of one frame.
struct Seen {
  uint32_t number;
  Action action[2];
  bool start, stop;
  uint32_t seed0;
  bool shadowSet[2];
  uint8_t shadow[2];
  bool operator==(const Seen& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

Seen Record(const NetFrame& f) {
  Seen s;
  std::memset(&s, 0, sizeof s);
  s.number = f.number;
  s.action[0] = f.action[0];
  s.action[1] = f.action[1];
  s.start = f.start;
  s.stop = f.stop;
  s.seed0 = f.start ? f.generator.seed[0] : 0;
  for (int p = 0; p < 2; ++p) {
    s.shadowSet[p] = f.shadowSet[p];
    s.shadow[p] = f.shadow[p];
  }
  return s;
}

// Each side's own action for frame n (sent delay frames earlier).
Action Pattern(int player, uint32_t n) { return static_cast<Action>((n * (player + 3) / 7) % 9); }

// Runs one side for the frames due at nowMs (10 ms each since its clock
// started), at most five at once; the frames it could not run wait.
void RunDue(NetSession& s, uint32_t nowMs, std::vector<Seen>& seen, int& waits) {
  if (!NetPlaying(s) || nowMs < s.clockStartMs) return;
  const uint32_t due = (nowMs - s.clockStartMs) / 10 + 1;
  for (int i = 0; i < 5 && s.frame < due; ++i) {
    if (NetWantsLocal(s)) NetSubmitLocal(s, Pattern(s.localPlayer, s.localNext), nowMs);
    NetFrame f;
    if (!NetNextFrame(s, f)) {
      waits += 1;
      return;
    }
    seen.push_back(Record(f));
    NetFrameDone(s, nowMs);
  }
}

}  // namespace

TEST(NetSession, HandshakeChoosesTheDelayAndHandsOutFramesInLockstep) {
  Pair pair;
  pair.toJoin.latencyMs = pair.toHost.latencyMs = 20;
  pair.Begin(DefaultNetOptions(), DefaultNetOptions());
  pair.Connect();
  ASSERT_EQ(NetPhase::Playing, pair.host.phase);
  ASSERT_EQ(NetPhase::Playing, pair.join.phase);
  EXPECT_EQ(40u, pair.join.rttHandshakeMs);
  EXPECT_EQ(DelayForRoundTrip(40), pair.join.delay) << "half of 40 ms plus the margin";
  EXPECT_EQ(pair.join.delay, pair.host.delay);
  EXPECT_EQ(pair.host.session, pair.join.session);

  std::vector<Seen> hostSeen, joinSeen;
  int hostWaits = 0, joinWaits = 0;
  for (int ms = 0; ms < 3000; ++ms) {
    pair.Step();
    if (ms == 500) NetRequestStart(pair.join);       // the joiner asks, the host starts
    if (ms == 1200) NetRequestShadow(pair.join, 0, 7);
    if (ms == 1200) NetRequestShadow(pair.host, 0, 3);
    if (ms == 2000) NetRequestStop(pair.host);
    RunDue(pair.host, pair.nowMs, hostSeen, hostWaits);
    RunDue(pair.join, pair.nowMs, joinSeen, joinWaits);
  }
  const size_t n = std::min(hostSeen.size(), joinSeen.size());
  ASSERT_GT(n, 280u);
  int starts = 0, stops = 0, shadows = 0;
  for (size_t i = 0; i < n; ++i) {
    ASSERT_EQ(hostSeen[i], joinSeen[i]) << "frame " << i;
    ASSERT_EQ(i, hostSeen[i].number);
    if (i >= pair.host.delay) {
      EXPECT_EQ(Pattern(0, i), hostSeen[i].action[0]) << "frame " << i;
      EXPECT_EQ(Pattern(1, i), hostSeen[i].action[1]) << "frame " << i;
    }
    starts += hostSeen[i].start;
    stops += hostSeen[i].stop;
    if (hostSeen[i].shadowSet[0]) {
      shadows += 1;
      EXPECT_EQ(7, hostSeen[i].shadow[0]) << "player 1's side has the last word in one frame";
    }
  }
  EXPECT_EQ(1, starts);
  EXPECT_EQ(1, stops);
  EXPECT_EQ(1, shadows);
  EXPECT_EQ(0, hostWaits + joinWaits) << "20 ms each way fits in the delay";
}
