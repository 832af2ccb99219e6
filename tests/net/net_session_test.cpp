// The network session without sockets: two sessions joined by queues that
// lose, repeat and reorder datagrams on a script. Both sides must hand out
// the same frames, in order, with each side's inputs and events where they
// were sent; refusals and ends must say why.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "net/net_session.h"
#include "net/net_session_state.h"
#include "replay/recording.h"
#include "tests/engine/test_host.h"

namespace {

const NetAddress HOST_ADDRESS = Ipv4Address(0x7F000001, 42000);
const NetAddress JOIN_ADDRESS = Ipv4Address(0x7F000001, 42001);
const NetAddress THIRD_ADDRESS = Ipv4Address(0x7F000001, 42002);
// The joiner's after its NAT gave it a new port.
const NetAddress MOVED_ADDRESS = Ipv4Address(0x7F000001, 42003);
// The same two programs by IPv6 (2001:db8::1 and ::2), for a joiner that
// tries both families.
const NetAddress HOST_ADDRESS6 = {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0, 42000};
const NetAddress JOIN_ADDRESS6 = {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}, 0, 42000};

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
  bool cut = false;         // everything is lost
  bool refuse = false;      // the system refuses every send
  bool losePlays = false;   // Plays are lost, the rest goes
  bool loseByes = false;    // goodbyes are lost, the rest goes
  uint32_t playExtraMs = 0; // Plays come this much later than the rest
  int lost = 0, repeated = 0, reordered = 0;
};

bool Send(void* context, const NetAddress& to, const uint8_t* data, size_t size) {
  Wire& w = *static_cast<Wire*>(context);
  if (w.refuse) return false;
  const int k = w.sent++;
  const bool play = size > 6 && data[6] == static_cast<uint8_t>(NetKind::Play);
  Datagram d{to, w.nowMs + w.latencyMs + (play ? w.playExtraMs : 0), std::vector<uint8_t>(data, data + size)};
  const bool bye = size > 6 && data[6] == static_cast<uint8_t>(NetKind::Bye);
  if (w.cut || (play && w.losePlays) || (bye && w.loseByes) || (w.impair && k % 7 == 3)) {
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

NetPhase Phase(const NetSession& s) { return NetSessionStats(s).phase; }
NetEnd EndOf(const NetSession& s) { return NetSessionStats(s).endReason; }

struct Pair {
  NetSession& host = NetSessionRecord(1);
  NetSession& join = NetSessionRecord(2);
  NetSession& third = NetSessionRecord(3);
  Wire toJoin, toHost, fromThird;
  uint32_t nowMs = 1000;
  uint32_t hostSkewMs = 0;  // the host's clock runs this far ahead
  bool ipv6Cut = false;     // what is sent to the host by IPv6 is lost
  NetAddress joinAt = JOIN_ADDRESS;  // where the joiner's datagrams come from and the host's reach it

  Pair() { NetClose(third); }
  void Begin(const NetOptions& hostOptions, const NetOptions& joinOptions) {
    NetBeginHost(host, hostOptions, Send, &toJoin, nowMs);
    NetBeginJoin(join, HOST_ADDRESS, joinOptions, Send, &toHost, nowMs);
  }
  // One millisecond of both sides: deliveries, then each side's service.
  void Step() {
    nowMs += 1;
    toHost.nowMs = toJoin.nowMs = fromThird.nowMs = nowMs;
    if (!ipv6Cut) Deliver(toHost, host, HOST_ADDRESS6, JOIN_ADDRESS6, nowMs + hostSkewMs);
    Deliver(toHost, host, HOST_ADDRESS, joinAt, nowMs + hostSkewMs);
    Deliver(fromThird, host, HOST_ADDRESS, THIRD_ADDRESS, nowMs + hostSkewMs);
    Deliver(toJoin, join, JOIN_ADDRESS6, HOST_ADDRESS6, nowMs);
    Deliver(toJoin, join, joinAt, HOST_ADDRESS, nowMs);
    Deliver(toJoin, third, THIRD_ADDRESS, HOST_ADDRESS, nowMs);
    NetService(host, nowMs + hostSkewMs);
    NetService(join, nowMs);
    if (Phase(third) != NetPhase::Closed) NetService(third, nowMs);
  }
  void Connect(int ms = 1000) {
    for (int i = 0; i < ms && !(Phase(host) == NetPhase::Playing && Phase(join) == NetPhase::Playing); ++i) Step();
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

// One side as the runner sees it: the k-th input sent is for frame
// delay + k; the frames it ran.
struct Side {
  NetSession* session;
  uint32_t submitted = 0;
  uint32_t lastFrame = UINT32_MAX;  // frames past this one are not run
  bool corrupted = false;
  std::vector<Seen>* seen;
};

Action PatternAction(void* context, int32_t player) {
  Side& side = *static_cast<Side*>(context);
  return Pattern(player, NetSessionStats(*side.session).delay + side.submitted++);
}

bool SeeFrame(void* context, const NetFrame& f) {
  Side& side = *static_cast<Side*>(context);
  side.seen->push_back(Record(f));
  // The host's state changed for its digest of this frame count only.
  if (NetSessionStats(*side.session).localPlayer == 0 && f.number + 1 == corruptHostAt) {
    gameState.score[0] += 1;
    side.corrupted = true;
  }
  return f.number + 1 < side.lastFrame;
}

// Runs one side for the frames due at nowMs (10 ms each since its clock
// started), at most five at once; the frames it could not run wait.
void RunDue(Side& side, uint32_t nowMs) {
  if (NetSessionStats(*side.session).frames >= side.lastFrame) return;
  NetRunFrames(*side.session, nowMs, 5, NetFrameCalls{&side, PatternAction, SeeFrame});
  if (side.corrupted) gameState.score[0] -= 1;
  side.corrupted = false;
}

struct Seens {
  std::vector<Seen> host, join;
  Side hostSide{nullptr, 0, UINT32_MAX, false, &host};
  Side joinSide{nullptr, 0, UINT32_MAX, false, &join};
  uint32_t Waits(const Pair& pair) const {
    return NetSessionStats(pair.host).waits + NetSessionStats(pair.join).waits;
  }
};

// `ms` milliseconds of play; `during(ms)` asks for events.
template <typename During>
void PlayFor(Pair& pair, int ms, Seens& seen, During during) {
  seen.hostSide.session = &pair.host;
  seen.joinSide.session = &pair.join;
  for (int t = 0; t < ms; ++t) {
    pair.Step();
    during(t);
    RunDue(seen.hostSide, pair.nowMs + pair.hostSkewMs);
    RunDue(seen.joinSide, pair.nowMs);
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
  const NetStats host = NetSessionStats(pair.host), join = NetSessionStats(pair.join);
  ASSERT_EQ(NetPhase::Playing, host.phase);
  ASSERT_EQ(NetPhase::Playing, join.phase);
  EXPECT_EQ(40u, join.rttHandshakeMs);
  EXPECT_EQ(DelayForRoundTrip(40), join.delay) << "half of 40 ms plus the margin";
  EXPECT_EQ(join.delay, host.delay);
  EXPECT_EQ(host.session, join.session);

  Seens seen;
  PlayFor(pair, 3000, seen, [&](int ms) {
    if (ms == 500) NetRequestStart(pair.join);  // the joiner asks, the host starts
    if (ms == 1200) NetRequestShadow(pair.join, 0, 7);
    if (ms == 1200) NetRequestShadow(pair.host, 0, 3);
    if (ms == 2000) NetRequestStop(pair.host);
  });
  ExpectSameFrames(seen, host.delay, 280);
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
  EXPECT_EQ(0u, seen.Waits(pair)) << "20 ms each way fits in the delay";
}

// A far peer: 300 ms each way. The delay covers it, and the match runs at
// full pace, every input carried although many are in flight at once.
TEST(NetSession, AFarPeerPlaysAtFullPace) {
  EXPECT_EQ(22, DelayForRoundTrip(400));
  EXPECT_EQ(32, DelayForRoundTrip(600));
  EXPECT_EQ(NET_MAX_DELAY, DelayForRoundTrip(5000));
  Pair pair;
  pair.toJoin.latencyMs = pair.toHost.latencyMs = 300;
  pair.Begin(DefaultNetOptions(), DefaultNetOptions());
  pair.Connect(5000);
  ASSERT_EQ(NetPhase::Playing, Phase(pair.host));
  Seens seen;
  PlayFor(pair, 5000, seen, [&](int ms) {
    if (ms == 100) NetRequestStart(pair.host);
  });
  ExpectSameFrames(seen, NetSessionStats(pair.host).delay, 480);
  EXPECT_EQ(0u, seen.Waits(pair));
}

TEST(NetSession, LossRepeatsAndReorderingDelayFramesButChangeNone) {
  Pair pair;
  pair.toJoin.latencyMs = pair.toHost.latencyMs = 15;
  pair.toJoin.impair = pair.toHost.impair = true;
  // A tighter delay than the round trip asks for: frames must wait.
  NetOptions tight = DefaultNetOptions();
  tight.forcedDelay = 2;
  pair.Begin(tight, DefaultNetOptions());
  pair.Connect();
  ASSERT_EQ(NetPhase::Playing, Phase(pair.join));
  Seens seen;
  PlayFor(pair, 4000, seen, [&](int ms) {
    if (ms == 1000) NetRequestStart(pair.host);
    if (ms == 2500) NetRequestStop(pair.join);
  });
  ExpectSameFrames(seen, 2, 300);
  EXPECT_GT(pair.toHost.lost + pair.toJoin.lost, 40);
  EXPECT_GT(pair.toHost.repeated + pair.toJoin.repeated, 10);
  EXPECT_GT(pair.toHost.reordered + pair.toJoin.reordered, 10);
  EXPECT_GT(seen.Waits(pair), 0u);
  for (const NetSession* s : {&pair.host, &pair.join}) {
    const NetStats stats = NetSessionStats(*s);
    EXPECT_EQ(NetPhase::Playing, stats.phase) << NetEndText(*s);
    for (int i = 0; i < static_cast<int>(NetDrop::Count); ++i) {
      EXPECT_EQ(0u, stats.dropped[i]) << "a repeat or a late datagram is no fault: reason " << i;
    }
  }
  EXPECT_GE(NetSessionStats(pair.host).digestFrame, 300u) << "digests were compared";
}

TEST(NetSession, StrangersAndASecondJoinerAreRefusedWithoutDisturbingTheMatch) {
  Pair pair;
  pair.Begin(DefaultNetOptions(), DefaultNetOptions());
  pair.Connect();
  Seens seen;
  PlayFor(pair, 500, seen, [](int) {});

  NetBeginJoin(pair.third, HOST_ADDRESS, DefaultNetOptions(), Send, &pair.fromThird, pair.nowMs);
  PlayFor(pair, 200, seen, [](int) {});
  EXPECT_EQ(NetPhase::Ended, Phase(pair.third));
  EXPECT_STREQ("a match is already being played", NetEndText(pair.third));
  EXPECT_EQ(1u, NetSessionStats(pair.host).refusals);

  // Datagrams the host must drop, each for its reason.
  const NetStats host = NetSessionStats(pair.host);
  NetDatagram d{};
  d.kind = NetKind::Play;
  d.format = NET_FORMAT;
  d.session = host.session;
  d.delay = host.delay;
  d.frame = host.frames;
  d.ack = host.frames;
  const auto expectDrop = [&](const NetDatagram& datagram, const NetAddress& from, NetDrop why, const char* what) {
    const uint64_t before = NetSessionStats(pair.host).dropped[static_cast<int>(why)];
    const std::vector<uint8_t> bytes = PlayBytes(datagram);
    NetReceive(pair.host, from, bytes.data(), bytes.size(), pair.nowMs);
    EXPECT_EQ(before + 1, NetSessionStats(pair.host).dropped[static_cast<int>(why)]) << what;
  };
  NetDatagram foreign = d;
  foreign.session += 1;
  expectDrop(foreign, THIRD_ADDRESS, NetDrop::Stranger, "a Play of another session from another address");
  // The session's own datagram replayed from elsewhere: the stranger's
  // address is asked for a proof it cannot give, and the match stays put.
  pair.fromThird.inFlight.clear();
  expectDrop(d, THIRD_ADDRESS, NetDrop::Unproven, "the session's Play from another address");
  NetDatagram check{};
  bool checked = false;
  for (const Datagram& sent : pair.toJoin.inFlight) {
    if (!SameAddress(sent.to, THIRD_ADDRESS)) continue;
    checked = ReadDatagram(sent.bytes.data(), sent.bytes.size(), check) == NetReadResult::Ok &&
              check.kind == NetKind::Check;
  }
  ASSERT_TRUE(checked) << "a Check went to the new address";
  NetDatagram proof = check;
  proof.kind = NetKind::Proof;
  proof.tag = 0x0123456789abcdefull;
  expectDrop(proof, THIRD_ADDRESS, NetDrop::Unproven, "a Proof with a forged tag");
  // Nor can the stranger have the joiner prove the challenge for it: a
  // Check is answered only from the peer's own address.
  const int joinSent = pair.toHost.sent;
  const std::vector<uint8_t> askJoiner = PlayBytes(check);
  NetReceive(pair.join, THIRD_ADDRESS, askJoiner.data(), askJoiner.size(), pair.nowMs);
  EXPECT_EQ(joinSent, pair.toHost.sent);
  char peer[NET_ADDRESS_TEXT];
  FormatAddress(pair.host.peer, true, peer, sizeof peer);
  EXPECT_STREQ("127.0.0.1:42001", peer);
  NetDatagram other = d;
  other.session += 1;
  expectDrop(other, JOIN_ADDRESS, NetDrop::Session, "another session number");
  other = d;
  other.delay = d.delay == 1 ? 2 : 1;
  expectDrop(other, JOIN_ADDRESS, NetDrop::Field, "another delay");
  other = d;
  other.firstFrame = host.frames;
  other.count = 1;
  other.inputs[0] = {Action::Left, NET_EVENT_START, {0, 0}, {{1, 1}, 1}};
  expectDrop(other, JOIN_ADDRESS, NetDrop::Role, "a Start from the joiner");
  other.inputs[0].events = 0;
  other.firstFrame = host.frames + NET_RING;
  expectDrop(other, JOIN_ADDRESS, NetDrop::Frames, "an input past the ring");
  other = d;
  other.ack = host.frames + host.delay + 1;
  expectDrop(other, JOIN_ADDRESS, NetDrop::Frames, "an acknowledgement of inputs never sent");
  other = d;
  other.frame = host.frames + host.delay + 1;
  expectDrop(other, JOIN_ADDRESS, NetDrop::Frames, "a frame the joiner cannot have run");

  // A forged acknowledgement of every input sent, while the joiner's copies
  // are lost: the joiner's next word on what it lacks starts the resending
  // again, and the match goes on.
  pair.toJoin.cut = true;
  PlayFor(pair, 30, seen, [](int) {});
  other = d;
  other.ack = NetSessionStats(pair.host).frames + host.delay;
  other.frame = NetSessionStats(pair.host).frames;
  const std::vector<uint8_t> forged = PlayBytes(other);
  NetReceive(pair.host, JOIN_ADDRESS, forged.data(), forged.size(), pair.nowMs);
  pair.toJoin.cut = false;
  const uint32_t joinAt = NetSessionStats(pair.join).frames;

  PlayFor(pair, 1500, seen, [](int) {});
  EXPECT_LT(joinAt + 100, NetSessionStats(pair.join).frames) << "the joiner's frames go on";
  EXPECT_EQ(NetPhase::Playing, Phase(pair.host)) << NetEndText(pair.host);
  EXPECT_EQ(NetPhase::Playing, Phase(pair.join)) << NetEndText(pair.join);
  ExpectSameFrames(seen, host.delay, 200);
}

// Every Join is welcomed and the first greeted joiner to Play is the peer:
// neither a stray Join, nor a stranger who repeats its Join and never plays,
// keeps the real joiner out; a greeting that no Play followed is given up.
TEST(NetSession, AStrayOrRepeatedJoinDoesNotKeepTheRealJoinerOut) {
  Pair pair;
  NetBeginHost(pair.host, DefaultNetOptions(), Send, &pair.toJoin, pair.nowMs);
  NetDatagram stray{};
  stray.kind = NetKind::Join;
  stray.format = NET_FORMAT;
  std::snprintf(stray.version, sizeof stray.version, "x");
  stray.nonce = 5;
  uint8_t bytes[NET_MAX_DATAGRAM];
  const size_t n = WriteDatagram(stray, bytes, sizeof bytes);
  NetReceive(pair.host, THIRD_ADDRESS, bytes, n, pair.nowMs);
  EXPECT_EQ(NetPhase::Greeting, Phase(pair.host));
  for (uint32_t i = 0; i < NET_GREETING_MS; ++i) pair.Step();
  EXPECT_EQ(NetPhase::Hosting, Phase(pair.host)) << "a Join no Play followed is given up";
  NetBeginJoin(pair.join, HOST_ADDRESS, DefaultNetOptions(), Send, &pair.toHost, pair.nowMs);
  for (int i = 0; i < 3000 && Phase(pair.host) != NetPhase::Playing; ++i) {
    if (i % 400 == 0) NetReceive(pair.host, THIRD_ADDRESS, bytes, n, pair.nowMs);
    pair.Step();
  }
  EXPECT_EQ(NetPhase::Playing, Phase(pair.host)) << NetEndText(pair.host);
  EXPECT_EQ(NetPhase::Playing, Phase(pair.join)) << NetEndText(pair.join);
  EXPECT_EQ(0u, NetSessionStats(pair.host).refusals);
}

// A host name with both families: the Join goes by both at once, the first
// address that answers is kept, and the other family's Join is no stranger.
TEST(NetSession, AJoinerByBothFamiliesKeepsTheFirstThatAnswers) {
  char peer[NET_ADDRESS_TEXT];
  for (const bool cut : {false, true}) {
    Pair pair;
    pair.ipv6Cut = cut;
    NetBeginHost(pair.host, DefaultNetOptions(), Send, &pair.toJoin, pair.nowMs);
    NetBeginJoin(pair.join, HOST_ADDRESS6, DefaultNetOptions(), Send, &pair.toHost, pair.nowMs);
    NetAlsoJoin(pair.join, HOST_ADDRESS, pair.nowMs);
    pair.Connect();
    ASSERT_EQ(NetPhase::Playing, Phase(pair.join)) << NetEndText(pair.join);
    EXPECT_EQ(0u, NetSessionStats(pair.host).refusals) << "the other family's Join is the same joiner's";
    NetPeerText(pair.join, peer, sizeof peer);
    // As titles write it: IPv4 alone, IPv6 in brackets with the port.
    EXPECT_STREQ(cut ? "127.0.0.1" : "[2001:db8::1]:42000", peer);
    NetPeerText(pair.host, peer, sizeof peer);
    EXPECT_STREQ(cut ? "127.0.0.1" : "[2001:db8::2]:42000", peer);
    // Nothing more goes by the family that did not answer: lost by IPv6,
    // or a stranger's at the host by IPv4.
    const auto byIpv6 = [&pair] {
      int n = 0;
      for (const Datagram& d : pair.toHost.inFlight) n += SameAddress(d.to, HOST_ADDRESS6);
      return n;
    };
    const int lost = byIpv6();
    const uint64_t strangers = NetSessionStats(pair.host).dropped[static_cast<int>(NetDrop::Stranger)];
    Seens seen;
    PlayFor(pair, 1000, seen, [](int) {});
    ExpectSameFrames(seen, NetSessionStats(pair.host).delay, 90);
    if (cut) {
      EXPECT_EQ(lost, byIpv6());
    }
    EXPECT_EQ(strangers, NetSessionStats(pair.host).dropped[static_cast<int>(NetDrop::Stranger)]);
  }
  // Nobody answers by either: both are named.
  Pair pair;
  pair.toHost.cut = true;
  NetBeginJoin(pair.join, HOST_ADDRESS6, DefaultNetOptions(), Send, &pair.toHost, pair.nowMs);
  NetAlsoJoin(pair.join, HOST_ADDRESS, pair.nowMs);
  for (uint32_t t = 0; t <= NET_JOIN_WAIT_MS; t += 50) NetService(pair.join, pair.nowMs + t);
  EXPECT_STREQ("no answer from [2001:db8::1]:42000 nor 127.0.0.1:42000 within 10 s", NetEndText(pair.join));
  EXPECT_LT(2 * static_cast<int>(NET_JOIN_WAIT_MS / NET_JOIN_RESEND_MS) - 4, pair.toHost.sent) << "by both";
}

TEST(NetSession, AnotherFormatIsRefusedNamingBothVersionsAndTheHostWaitsOn) {
  Pair pair;
  NetOptions newer = DefaultNetOptions();
  newer.version = "9.9.9";
  newer.format = NET_FORMAT + 1;
  pair.Begin(DefaultNetOptions(), newer);
  pair.Connect();
  EXPECT_EQ(NetEnd::Format, EndOf(pair.join));
  const std::string both = "the other player's program is BlockTide " BLOCKTIDE_VERSION_STRING " (network format " +
                           std::to_string(NET_FORMAT) + "); this one is BlockTide 9.9.9 (network format " +
                           std::to_string(NET_FORMAT + 1) + ")";
  EXPECT_EQ(both, NetEndText(pair.join));
  // Anybody may send anything to a host's port: it refuses and waits on,
  // and a joiner of its own format still gets in.
  EXPECT_EQ(NetPhase::Hosting, Phase(pair.host));
  NetBeginJoin(pair.third, HOST_ADDRESS, DefaultNetOptions(), Send, &pair.fromThird, pair.nowMs);
  for (int i = 0; i < 1000 && Phase(pair.host) != NetPhase::Playing; ++i) pair.Step();
  EXPECT_EQ(NetPhase::Playing, Phase(pair.host)) << NetEndText(pair.host);
}

// Runs both sides to `frames` frames, then each finishes (its goodbye and
// the other's); `between(t)` comes between the host's and the joiner's turn.
template <typename Between>
void PlayAndFinish(Pair& pair, Seens& seen, uint32_t frames, Between between) {
  seen.hostSide.lastFrame = seen.joinSide.lastFrame = frames;
  PlayFor(pair, static_cast<int>(frames) * 10 + 500, seen, [](int) {});
  ASSERT_EQ(frames, NetSessionStats(pair.host).frames);
  ASSERT_EQ(frames, NetSessionStats(pair.join).frames);
  bool hostDone = false, joinDone = false;
  for (int t = 0; t < static_cast<int>(NET_FINISH_MS) + 100 && !(hostDone && joinDone); ++t) {
    pair.Step();
    hostDone = hostDone || NetFinish(pair.host, pair.nowMs);
    between(t);
    joinDone = joinDone || NetFinish(pair.join, pair.nowMs);
  }
  EXPECT_TRUE(hostDone && joinDone);
}

TEST(NetSession, EndsSayWhy) {
  {  // Silence: the match waits where it stands, counting down, and goes
     // on when the path comes back (past the stall's 5 s); a peer that
     // comes back from a new address is followed once it proves itself;
     // 30 s without a datagram ends both sides.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    PlayFor(pair, 300, seen, [](int) {});
    while (NetTakeEvent(pair.host) != NetEvent::None) {
    }
    pair.toHost.cut = pair.toJoin.cut = true;
    PlayFor(pair, 900, seen, [](int) {});
    EXPECT_EQ(0u, NetWaitingSeconds(pair.host, pair.nowMs)) << "a short gap is no wait";
    PlayFor(pair, 9200, seen, [](int) {});
    const uint32_t stood = NetSessionStats(pair.host).frames;
    EXPECT_EQ(20u, NetWaitingSeconds(pair.host, pair.nowMs));
    EXPECT_EQ(20u, NetWaitingSeconds(pair.join, pair.nowMs));
    pair.toHost.cut = pair.toJoin.cut = false;
    PlayFor(pair, 100, seen, [](int) {});
    EXPECT_GT(stood + 15, NetSessionStats(pair.host).frames) << "at the frames' pace, not in a burst";
    PlayFor(pair, 900, seen, [](int) {});
    EXPECT_EQ(NetPhase::Playing, Phase(pair.host)) << NetEndText(pair.host);
    EXPECT_LT(stood + 50, NetSessionStats(pair.host).frames) << "the frames go on";
    EXPECT_EQ(0u, NetWaitingSeconds(pair.host, pair.nowMs));
    EXPECT_EQ(NetEvent::Resumed, NetTakeEvent(pair.host));
    const NetStats back = NetSessionStats(pair.host);
    EXPECT_EQ(1u, back.resumes);
    EXPECT_LE(10000u, back.lastSilenceMs);
    EXPECT_GT(100u, back.lastResumeFrameMs);
    ExpectSameFrames(seen, back.delay, stood + 50);

    // The joiner's NAT gives it a new port: the host checks it, follows it.
    pair.joinAt = MOVED_ADDRESS;
    PlayFor(pair, 1000, seen, [](int) {});
    EXPECT_EQ(NetEvent::Moved, NetTakeEvent(pair.host));
    char peer[NET_ADDRESS_TEXT];
    FormatAddress(pair.host.peer, true, peer, sizeof peer);
    EXPECT_STREQ("127.0.0.1:42003", peer);
    EXPECT_EQ(1u, NetSessionStats(pair.host).moves);
    EXPECT_EQ(0u, NetSessionStats(pair.join).moves);
    ExpectSameFrames(seen, back.delay, back.frames + 50);

    pair.toHost.cut = pair.toJoin.cut = true;
    PlayFor(pair, NET_SILENCE_MS - 100, seen, [](int) {});
    EXPECT_EQ(NetPhase::Playing, Phase(pair.host));
    EXPECT_EQ(1u, NetWaitingSeconds(pair.host, pair.nowMs));
    PlayFor(pair, 200, seen, [](int) {});
    EXPECT_EQ(NetEnd::Silent, EndOf(pair.host));
    EXPECT_STREQ("the other player's program stopped answering", NetEndText(pair.join));
    EXPECT_FALSE(NetPlaying(pair.host));
  }
  {  // No frame for 5 s while both still talk (here the joiner stops
     // running frames): a stuck match ends, naming the frame.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    PlayFor(pair, 300, seen, [](int) {});
    seen.joinSide.lastFrame = NetSessionStats(pair.join).frames;
    PlayFor(pair, NET_STALL_MS + 200, seen, [](int) {});
    EXPECT_EQ(NetEnd::Stalled, EndOf(pair.host)) << NetEndText(pair.host);
    const std::string text = NetEndText(pair.host);
    EXPECT_EQ(0u, text.find("the network match stopped at frame ")) << text;
  }
  {  // A socket that refuses every send says so.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    PlayFor(pair, 300, seen, [](int) {});
    pair.toJoin.refuse = true;
    PlayFor(pair, 500, seen, [](int) {});
    EXPECT_EQ(NetEnd::SocketFault, EndOf(pair.host));
    EXPECT_STREQ("this computer's network refused to send 10 datagrams in a row", NetEndText(pair.host));
  }
  {  // Leaving tells the other side at once.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    PlayFor(pair, 300, seen, [](int) {});
    NetLeave(pair.join, pair.nowMs);
    PlayFor(pair, 10, seen, [](int) {});
    EXPECT_EQ(NetEnd::Left, EndOf(pair.host));
    EXPECT_STREQ("the other player left the network match", NetEndText(pair.host));
    EXPECT_EQ(NetPhase::Closed, Phase(pair.join));
  }
  {  // The leaver's goodbye overtakes its last inputs: the frames it ran
     // still run here, the final digest is compared, then the end is told.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    PlayFor(pair, 300, seen, [](int) {});
    pair.toJoin.playExtraMs = 40;
    PlayFor(pair, 100, seen, [](int) {});
    const uint32_t ran = NetSessionStats(pair.host).frames;
    seen.hostSide.lastFrame = ran;
    NetLeave(pair.host, pair.nowMs);
    PlayFor(pair, 15, seen, [](int) {});
    EXPECT_EQ(NetEnd::Left, EndOf(pair.join));
    EXPECT_LT(NetSessionStats(pair.join).frames, ran) << "the goodbye came first";
    PlayFor(pair, 200, seen, [](int) {});
    EXPECT_EQ(ran, NetSessionStats(pair.join).frames);
    EXPECT_FALSE(NetPlaying(pair.join));
    NetEvent e = NetTakeEvent(pair.join);
    if (e == NetEvent::Connected) e = NetTakeEvent(pair.join);
    EXPECT_EQ(NetEvent::Ended, e);
    // Its last inputs lost for good: the joiner stops all the same.
    Pair lost;
    lost.Begin(DefaultNetOptions(), DefaultNetOptions());
    lost.Connect();
    Seens lostSeen;
    PlayFor(lost, 300, lostSeen, [](int) {});
    lost.toJoin.losePlays = true;
    PlayFor(lost, 50, lostSeen, [](int) {});
    lostSeen.hostSide.lastFrame = NetSessionStats(lost.host).frames;
    NetLeave(lost.host, lost.nowMs);
    PlayFor(lost, static_cast<int>(NET_TAIL_MS) + 20, lostSeen, [](int) {});
    EXPECT_FALSE(NetPlaying(lost.join));
    EXPECT_LT(NetSessionStats(lost.join).frames, lostSeen.hostSide.lastFrame);
  }
  {  // Finishing: the goodbyes carry the last frames' digests.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    PlayAndFinish(pair, seen, 350, [](int) {});
    EXPECT_EQ(NetEnd::Left, EndOf(pair.host)) << NetEndText(pair.host);
    EXPECT_EQ(NetEnd::Left, EndOf(pair.join)) << NetEndText(pair.join);
  }
  {  // ... and differ when the states after the last regular digest do.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    // Once the host's goodbye is out, the joiner's state is another (both
    // sides share one state here).
    PlayAndFinish(pair, seen, 350, [&](int t) { gameState.score[1] += t == 0 ? 1 : 0; });
    EXPECT_EQ(NetEnd::Differ, EndOf(pair.join)) << NetEndText(pair.join);
    EXPECT_STREQ("the two programs' matches differ at frame 350", NetEndText(pair.join));
    gameState.score[1] -= 1;
  }
  {  // ... and every goodbye lost: neither side takes the tail as checked.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    pair.toHost.loseByes = pair.toJoin.loseByes = true;
    PlayAndFinish(pair, seen, 350, [](int) {});
    EXPECT_EQ(NetEnd::Unconfirmed, EndOf(pair.host));
    EXPECT_EQ(NetEnd::Unconfirmed, EndOf(pair.join));
    EXPECT_STREQ("the other player's program did not confirm the match's end: its frames after 300 were not "
                 "compared", NetEndText(pair.join));
  }
  {  // Differing digests end both sides, naming the frame.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.Connect();
    Seens seen;
    corruptHostAt = 200;
    PlayFor(pair, 2500, seen, [](int) {});
    corruptHostAt = 0;
    EXPECT_EQ(NetEnd::Differ, EndOf(pair.host));
    EXPECT_EQ(NetEnd::Differ, EndOf(pair.join));
    EXPECT_STREQ("the two programs' matches differ at frame 200", NetEndText(pair.join));
    EXPECT_LT(seen.host.size(), 250u) << "the match stopped there";
  }
  {  // Nobody hosting: the joiner gives up after 10 s.
    Pair pair;
    pair.Begin(DefaultNetOptions(), DefaultNetOptions());
    pair.toHost.cut = true;
    for (uint32_t t = 0; t < NET_JOIN_WAIT_MS + 10; ++t) pair.Step();
    EXPECT_EQ(NetEnd::NoAnswer, EndOf(pair.join));
    EXPECT_STREQ("no answer from 127.0.0.1:42000 within 10 s", NetEndText(pair.join));
  }
}

TEST(NetSession, ASideThatRunsAheadHoldsBackUntilItNoLongerWaits) {
  Pair pair;
  pair.toJoin.latencyMs = pair.toHost.latencyMs = 10;
  pair.Begin(DefaultNetOptions(), DefaultNetOptions());
  pair.Connect();
  pair.hostSkewMs = 80;  // the host's clock runs 8 frames ahead
  Seens seen;
  PlayFor(pair, 3000, seen, [](int) {});
  EXPECT_GT(NetSessionStats(pair.host).holds, 2u);
  EXPECT_EQ(0u, NetSessionStats(pair.join).holds) << "the side behind never holds";
  const uint32_t waitsBefore = NetSessionStats(pair.host).waits;
  PlayFor(pair, 2000, seen, [](int) {});
  EXPECT_EQ(waitsBefore, NetSessionStats(pair.host).waits) << "aligned again, the host no longer waits";
  ExpectSameFrames(seen, NetSessionStats(pair.host).delay, 450);
}
