// The network session without sockets: two sessions joined by queues that
// lose, repeat and reorder datagrams on a script. Both sides must hand out
// the same frames, in order, with each side's inputs and events where they
// were sent; refusals and ends must say why.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "net/net_internal.h"
#include "net/net_session.h"
#include "replay/recording.h"
#include "tests/engine/test_host.h"

namespace {

const NetAddress HOST_ADDRESS = {0x7F000001, 42000};
const NetAddress JOIN_ADDRESS = {0x7F000001, 42001};
const NetAddress THIRD_ADDRESS = {0x7F000001, 42002};

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
  bool cut = false;  // everything is lost
  int lost = 0, repeated = 0, reordered = 0;
};

bool Send(void* context, const NetAddress& to, const uint8_t* data, size_t size) {
  Wire& w = *static_cast<Wire*>(context);
  const int k = w.sent++;
  Datagram d{to, w.nowMs + w.latencyMs, std::vector<uint8_t>(data, data + size)};
  if (w.cut || (w.impair && k % 7 == 3)) {
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

// Delivers what is due for the session at `address`, as sent from `from`.
void Deliver(Wire& w, NetSession& to, const NetAddress& address, const NetAddress& from, uint32_t nowMs) {
  for (size_t i = 0; i < w.inFlight.size();) {
    if (w.inFlight[i].dueMs > nowMs || !SameAddress(w.inFlight[i].to, address)) {
      ++i;
      continue;
    }
    const Datagram d = w.inFlight[i];
    w.inFlight.erase(w.inFlight.begin() + static_cast<long>(i));
    NetReceive(to, from, d.bytes.data(), d.bytes.size(), nowMs);
  }
}

struct Pair {
  NetSession host{}, join{}, third{};
  Wire toJoin, toHost, fromThird;
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
    toHost.nowMs = toJoin.nowMs = fromThird.nowMs = nowMs;
    Deliver(toHost, host, HOST_ADDRESS, JOIN_ADDRESS, nowMs);
    Deliver(fromThird, host, HOST_ADDRESS, THIRD_ADDRESS, nowMs);
    Deliver(toJoin, join, JOIN_ADDRESS, HOST_ADDRESS, nowMs);
    Deliver(toJoin, third, THIRD_ADDRESS, HOST_ADDRESS, nowMs);
    NetService(host, nowMs);
    NetService(join, nowMs);
    if (third.phase != NetPhase::Closed) NetService(third, nowMs);
  }
  void Connect() {
    for (int i = 0; i < 1000 && !(host.phase == NetPhase::Playing && join.phase == NetPhase::Playing); ++i) Step();
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

// Frame count at which the host's state is changed for its digest only.
uint32_t corruptHostAt = 0;

// Runs one side for the frames due at nowMs (10 ms each since its clock
// started), at most five at once; the frames it could not run wait.
void RunDue(NetSession& s, uint32_t nowMs, std::vector<Seen>& seen, int& waits) {
  if (!NetPlaying(s)) return;
  for (int i = 0; i < 5; ++i) {
    if (!NetFrameDue(s, nowMs)) return;
    if (NetWantsLocal(s)) NetSubmitLocal(s, Pattern(s.localPlayer, s.localNext), nowMs);
    NetFrame f;
    if (!NetNextFrame(s, f)) {
      waits += 1;
      return;
    }
    seen.push_back(Record(f));
    const bool corrupt = s.host && s.frame == corruptHostAt;
    gameState.score[0] += corrupt ? 1 : 0;
    NetFrameDone(s, nowMs);
    gameState.score[0] -= corrupt ? 1 : 0;
  }
}

struct Seens {
  std::vector<Seen> host, join;
  int hostWaits = 0, joinWaits = 0;
};

// `ms` milliseconds of play; `during(ms)` asks for events.
template <typename During>
void PlayFor(Pair& pair, int ms, Seens& seen, During during) {
  for (int t = 0; t < ms; ++t) {
    pair.Step();
    during(t);
    RunDue(pair.host, pair.nowMs, seen.host, seen.hostWaits);
    RunDue(pair.join, pair.nowMs, seen.join, seen.joinWaits);
  }
}

// Both sides saw the same frames, each with both players' own actions.
void ExpectSameFrames(const Seens& seen, uint32_t delay, size_t atLeast) {
  const size_t n = std::min(seen.host.size(), seen.join.size());
  ASSERT_GE(n, atLeast);
  for (size_t i = 0; i < n; ++i) {
    ASSERT_EQ(seen.host[i], seen.join[i]) << "frame " << i;
    ASSERT_EQ(i, seen.host[i].number);
    if (i < delay) continue;
    ASSERT_EQ(Pattern(0, static_cast<uint32_t>(i)), seen.host[i].action[0]) << "frame " << i;
    ASSERT_EQ(Pattern(1, static_cast<uint32_t>(i)), seen.host[i].action[1]) << "frame " << i;
  }
}

std::vector<uint8_t> PlayBytes(NetDatagram d) {
  std::vector<uint8_t> out(NET_MAX_DATAGRAM);
  out.resize(WriteDatagram(d, out.data(), out.size()));
  return out;
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

  Seens seen;
  PlayFor(pair, 3000, seen, [&](int ms) {
    if (ms == 500) NetRequestStart(pair.join);  // the joiner asks, the host starts
    if (ms == 1200) NetRequestShadow(pair.join, 0, 7);
    if (ms == 1200) NetRequestShadow(pair.host, 0, 3);
    if (ms == 2000) NetRequestStop(pair.host);
  });
  ExpectSameFrames(seen, pair.host.delay, 280);
  int starts = 0, stops = 0, shadows = 0;
  for (const Seen& f : seen.host) {
    starts += f.start;
    stops += f.stop;
    if (f.shadowSet[0]) {
      shadows += 1;
      EXPECT_EQ(7, f.shadow[0]) << "player 1's side has the last word in one frame";
    }
  }
  EXPECT_EQ(1, starts);
  EXPECT_EQ(1, stops);
  EXPECT_EQ(1, shadows);
  EXPECT_EQ(0, seen.hostWaits + seen.joinWaits) << "20 ms each way fits in the delay";
}

TEST(NetSession, LossRepeatsAndReorderingDelayFramesButChangeNone) {
  Pair pair;
  pair.toJoin.latencyMs = pair.toHost.latencyMs = 15;
  pair.toJoin.impair = pair.toHost.impair = true;
  pair.Begin(DefaultNetOptions(), DefaultNetOptions());
  pair.Connect();
  ASSERT_EQ(NetPhase::Playing, pair.join.phase);
  // A tighter delay than the round trip asks for: frames must wait.
  pair.host.delay = pair.join.delay = 2;
  BeginLockstep(pair.host);
  BeginLockstep(pair.join);
  pair.host.clockStartMs = pair.join.clockStartMs = pair.nowMs;
  Seens seen;
  PlayFor(pair, 4000, seen, [&](int ms) {
    if (ms == 1000) NetRequestStart(pair.host);
    if (ms == 2500) NetRequestStop(pair.join);
  });
  ExpectSameFrames(seen, 2, 300);
  EXPECT_GT(pair.toHost.lost + pair.toJoin.lost, 40);
  EXPECT_GT(pair.toHost.repeated + pair.toJoin.repeated, 10);
  EXPECT_GT(pair.toHost.reordered + pair.toJoin.reordered, 10);
  EXPECT_GT(seen.hostWaits + seen.joinWaits, 0);
  for (const NetSession* s : {&pair.host, &pair.join}) {
    EXPECT_EQ(NetPhase::Playing, s->phase) << s->endText;
    for (int i = 0; i < static_cast<int>(NetDrop::Count); ++i) {
      EXPECT_EQ(0u, s->counters.dropped[i]) << "a repeat or a late datagram is no fault: reason " << i;
    }
  }
  EXPECT_GE(pair.host.digestFrame[0], 300u) << "digests were compared";
}

TEST(NetSession, StrangersAndASecondJoinerAreRefusedWithoutDisturbingTheMatch) {
  Pair pair;
  pair.Begin(DefaultNetOptions(), DefaultNetOptions());
  pair.Connect();
  Seens seen;
  PlayFor(pair, 500, seen, [](int) {});

  NetBeginJoin(pair.third, HOST_ADDRESS, DefaultNetOptions(), pair.nowMs);
  pair.third.send = Send;
  pair.third.sendContext = &pair.fromThird;
  PlayFor(pair, 200, seen, [](int) {});
  EXPECT_EQ(NetPhase::Ended, pair.third.phase);
  EXPECT_STREQ("a match is already being played", pair.third.endText);
  EXPECT_EQ(1u, pair.host.counters.refusals);

  // Datagrams the host must drop, each for its reason.
  NetDatagram d{};
  d.kind = NetKind::Play;
  d.format = NET_FORMAT;
  d.session = pair.host.session;
  d.delay = pair.host.delay;
  d.frame = pair.host.frame;
  d.ack = pair.host.remoteNext;
  const auto expectDrop = [&](const NetDatagram& datagram, const NetAddress& from, NetDrop why, const char* what) {
    const uint64_t before = pair.host.counters.dropped[static_cast<int>(why)];
    const std::vector<uint8_t> bytes = PlayBytes(datagram);
    NetReceive(pair.host, from, bytes.data(), bytes.size(), pair.nowMs);
    EXPECT_EQ(before + 1, pair.host.counters.dropped[static_cast<int>(why)]) << what;
  };
  expectDrop(d, THIRD_ADDRESS, NetDrop::Stranger, "a Play from another address");
  NetDatagram other = d;
  other.session += 1;
  expectDrop(other, JOIN_ADDRESS, NetDrop::Session, "another session number");
  other = d;
  other.delay = d.delay == 1 ? 2 : 1;
  expectDrop(other, JOIN_ADDRESS, NetDrop::Field, "another delay");
  other = d;
  other.firstFrame = pair.host.remoteNext;
  other.count = 1;
  other.inputs[0] = {Action::Left, NET_EVENT_START, {0, 0}, {{1, 1}, 1}};
  expectDrop(other, JOIN_ADDRESS, NetDrop::Role, "a Start from the joiner");
  other.inputs[0].events = 0;
  other.firstFrame = pair.host.frame + NET_RING;
  expectDrop(other, JOIN_ADDRESS, NetDrop::Frames, "an input past the ring");
  other = d;
  other.ack = pair.host.localNext + 1;
  expectDrop(other, JOIN_ADDRESS, NetDrop::Frames, "an acknowledgement of inputs never sent");
  other = d;
  other.frame = pair.host.localNext + 1;
  expectDrop(other, JOIN_ADDRESS, NetDrop::Frames, "a frame the joiner cannot have run");

  PlayFor(pair, 1500, seen, [](int) {});
  EXPECT_EQ(NetPhase::Playing, pair.host.phase) << pair.host.endText;
  EXPECT_EQ(NetPhase::Playing, pair.join.phase) << pair.join.endText;
  ExpectSameFrames(seen, pair.host.delay, 200);
}

TEST(NetSession, AnotherFormatIsRefusedOnBothSidesNamingBothVersions) {
  Pair pair;
  NetOptions newer = DefaultNetOptions();
  newer.version = "9.9.9";
  newer.format = NET_FORMAT + 1;
  pair.Begin(DefaultNetOptions(), newer);
  pair.Connect();
  EXPECT_EQ(NetEnd::Format, pair.host.endReason);
  EXPECT_EQ(NetEnd::Format, pair.join.endReason);
  EXPECT_STREQ("the other player's program is BlockTide 9.9.9 (network format 2); this one is BlockTide "
               BLOCKTIDE_VERSION_STRING " (network format 1)", pair.host.endText);
  EXPECT_STREQ("the other player's program is BlockTide " BLOCKTIDE_VERSION_STRING
               " (network format 1); this one is BlockTide 9.9.9 (network format 2)", pair.join.endText);
}

TEST(NetSession, EndsSayWhy) {
  {  // Silence: 5 s without a datagram ends both sides; frames stop.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    PlayFor(pair, 300, seen, [](int) {});
    pair.toHost.cut = pair.toJoin.cut = true;
    PlayFor(pair, NET_SILENCE_MS - 100, seen, [](int) {});
    EXPECT_EQ(NetPhase::Playing, pair.host.phase);
    PlayFor(pair, 200, seen, [](int) {});
    EXPECT_EQ(NetEnd::Silent, pair.host.endReason);
    EXPECT_STREQ("the other player's program stopped answering", pair.join.endText);
    EXPECT_FALSE(NetPlaying(pair.host));
  }
  {  // Leaving tells the other side at once.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    PlayFor(pair, 300, seen, [](int) {});
    NetLeave(pair.join, pair.nowMs);
    PlayFor(pair, 10, seen, [](int) {});
    EXPECT_EQ(NetEnd::Left, pair.host.endReason);
    EXPECT_STREQ("the other player left the network match", pair.host.endText);
    EXPECT_EQ(NetPhase::Closed, pair.join.phase);
  }
  {  // Differing digests end both sides, naming the frame.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    corruptHostAt = 200;
    PlayFor(pair, 2500, seen, [](int) {});
    corruptHostAt = 0;
    EXPECT_EQ(NetEnd::Differ, pair.host.endReason);
    EXPECT_EQ(NetEnd::Differ, pair.join.endReason);
    EXPECT_STREQ("the two programs' matches differ at frame 200", pair.join.endText);
    EXPECT_LT(seen.host.size(), 250u) << "the match stopped there";
  }
  {  // Nobody hosting: the joiner gives up after 10 s.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.toHost.cut = true;
    for (uint32_t t = 0; t < NET_JOIN_WAIT_MS + 10; ++t) pair.Step();
    EXPECT_EQ(NetEnd::NoAnswer, pair.join.endReason);
    EXPECT_STREQ("no answer from 127.0.0.1:42000 within 10 s", pair.join.endText);
  }
}

TEST(NetSession, ASideThatRunsAheadHoldsBackUntilItNoLongerWaits) {
  Pair pair;
  pair.toJoin.latencyMs = pair.toHost.latencyMs = 10;
  pair.Begin(DefaultNetOptions(), DefaultNetOptions());
  pair.Connect();
  pair.host.clockStartMs -= 80;  // the host's clock runs 8 frames ahead
  Seens seen;
  PlayFor(pair, 3000, seen, [](int) {});
  EXPECT_GT(pair.host.counters.holds, 2u);
  EXPECT_EQ(0u, pair.join.counters.holds) << "the side behind never holds";
  const int waitsBefore = seen.hostWaits;
  PlayFor(pair, 2000, seen, [](int) {});
  EXPECT_EQ(waitsBefore, seen.hostWaits) << "aligned again, the host no longer waits";
  ExpectSameFrames(seen, pair.host.delay, 450);
}
