// The datagram reader: what the writer writes reads back field for field,
// and every way a datagram can be wrong is refused with its reason, never
// read past its end.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "net/net_wire.h"

namespace {

NetDatagram SamplePlay() {
  NetDatagram d{};
  d.kind = NetKind::Play;
  d.format = NET_FORMAT;
  d.session = 0xA1B2C3D4;
  d.time = 123456;
  d.echo = 123400;
  d.held = 7;
  d.delay = 3;
  d.frame = 250;
  d.advantage = -40;
  d.ack = 251;
  d.digestFrame = 200;
  d.digest = 0x0123456789ABCDEFull;
  d.firstFrame = 248;
  d.count = 3;
  d.inputs[0] = {Action::Left, 0, {0, 0}, {{0, 0}, 0}};
  d.inputs[1] = {Action::Fall, NET_EVENT_START | NET_EVENT_SHADOW1, {0, 200}, {{11, 22}, 33}};
  d.inputs[2] = {Action::NoAction, NET_EVENT_STOP | NET_EVENT_SHADOW0, {5, 0}, {{0, 0}, 0}};
  return d;
}

std::vector<uint8_t> Bytes(NetDatagram d) {
  // Sentinels past the end show a write too long.
  std::vector<uint8_t> out(NET_MAX_DATAGRAM + 16, 0xbd);
  const size_t n = WriteDatagram(d, out.data(), NET_MAX_DATAGRAM);
  EXPECT_NE(0u, n);
  for (size_t i = NET_MAX_DATAGRAM; i < out.size(); ++i) EXPECT_EQ(0xbd, out[i]);
  out.resize(n);
  return out;
}

NetReadResult Read(const std::vector<uint8_t>& bytes) {
  NetDatagram d;
  return ReadDatagram(bytes.data(), bytes.size(), d);
}

}  // namespace

TEST(NetWire, EveryKindReadsBackAsWritten) {
  NetDatagram play = SamplePlay();
  std::vector<uint8_t> bytes = Bytes(play);
  NetDatagram back;
  ASSERT_EQ(NetReadResult::Ok, ReadDatagram(bytes.data(), bytes.size(), back));
  EXPECT_EQ(play.session, back.session);
  EXPECT_EQ(play.advantage, back.advantage);
  EXPECT_EQ(play.digest, back.digest);
  EXPECT_EQ(3, back.count);
  EXPECT_EQ(Action::Fall, back.inputs[1].action);
  EXPECT_EQ(33u, back.inputs[1].generator.state);
  EXPECT_EQ(200, back.inputs[1].shadow[1]);
  EXPECT_EQ(5, back.inputs[2].shadow[0]);
  EXPECT_EQ(NET_EVENT_STOP | NET_EVENT_SHADOW0, back.inputs[2].events);
  EXPECT_LE(bytes.size(), 120u) << "a Play of a few frames stays small";

  NetDatagram join{};
  join.kind = NetKind::Join;
  join.format = NET_FORMAT;
  std::strcpy(join.version, "1.0.0");
  join.nonce = 99;
  join.delay = 4;
  bytes = Bytes(join);
  ASSERT_EQ(NetReadResult::Ok, ReadDatagram(bytes.data(), bytes.size(), back));
  EXPECT_STREQ("1.0.0", back.version);
  EXPECT_EQ(4, back.delay);

  NetDatagram bye{};
  bye.kind = NetKind::Bye;
  bye.format = NET_FORMAT;
  bye.reason = NetReason::Differ;
  bye.frame = 700;
  bytes = Bytes(bye);
  ASSERT_EQ(NetReadResult::Ok, ReadDatagram(bytes.data(), bytes.size(), back));
  EXPECT_EQ(NetReason::Differ, back.reason);
  EXPECT_EQ(700u, back.frame);

  // 32 inputs that each carry a Start do not fit: the writer keeps the
  // oldest that do, and says how many.
  NetDatagram full = SamplePlay();
  full.count = NET_MAX_INPUTS;
  for (NetInput& in : full.inputs) in = {Action::Left, NET_EVENT_START, {0, 0}, {{1, 2}, 3}};
  bytes.assign(NET_MAX_DATAGRAM, 0);
  bytes.resize(WriteDatagram(full, bytes.data(), bytes.size()));
  EXPECT_LE(bytes.size(), NET_MAX_DATAGRAM);
  EXPECT_LT(full.count, NET_MAX_INPUTS);
  ASSERT_EQ(NetReadResult::Ok, ReadDatagram(bytes.data(), bytes.size(), back));
  EXPECT_EQ(full.count, back.count);
}

TEST(NetWire, BadDatagramsAreRefusedWithTheirReason) {
  const std::vector<uint8_t> good = Bytes(SamplePlay());
  // Every shorter cut, and one byte more.
  for (size_t n = 0; n < good.size(); ++n) {
    EXPECT_EQ(NetReadResult::Length, Read(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n))))
        << "cut to " << n;
  }
  std::vector<uint8_t> bad = good;
  bad.push_back(0);
  EXPECT_EQ(NetReadResult::Length, Read(bad));
  EXPECT_EQ(NetReadResult::Length, Read(std::vector<uint8_t>(NET_MAX_DATAGRAM + 1, 0)));

  bad = good;
  bad[0] = 'X';
  EXPECT_EQ(NetReadResult::Magic, Read(bad));
  bad = good;
  bad[7] = 1;  // the reserved byte
  EXPECT_EQ(NetReadResult::Kind, Read(bad));
  bad = good;
  bad[6] = 9;  // no such kind
  EXPECT_EQ(NetReadResult::Kind, Read(bad));

  // Fields: offsets in a Play, after the 8-byte header.
  const size_t delay = 8 + 14, count = 8 + 41, firstAction = count + 1;
  bad = good;
  bad[delay] = 0;
  EXPECT_EQ(NetReadResult::Field, Read(bad)) << "delay 0";
  bad[delay] = NET_MAX_DELAY + 1;
  EXPECT_EQ(NetReadResult::Field, Read(bad)) << "delay 11";
  bad = good;
  bad[firstAction] = static_cast<uint8_t>(Action::NoAction) + 1;
  EXPECT_EQ(NetReadResult::Field, Read(bad)) << "an action past the engine's";
  bad = good;
  bad[firstAction + 1] = 0x40;
  EXPECT_EQ(NetReadResult::Field, Read(bad)) << "an unknown event bit";
  bad = good;
  bad[count] = NET_MAX_INPUTS + 1;
  EXPECT_EQ(NetReadResult::Field, Read(bad)) << "more inputs than a datagram carries";
  bad = good;
  bad[count] = 4;  // one input more than the bytes hold
  EXPECT_EQ(NetReadResult::Length, Read(bad));

  // A greeting with a control character in its version; another format,
  // whose version is still read to name it.
  NetDatagram join{};
  join.kind = NetKind::Join;
  join.format = NET_FORMAT;
  std::strcpy(join.version, "1.0\x07");
  EXPECT_EQ(NetReadResult::Field, Read(Bytes(join)));
  std::strcpy(join.version, "7.1.2");
  join.format = NET_FORMAT + 1;
  join.nonce = 4242;
  const std::vector<uint8_t> other = Bytes(join);
  NetDatagram back;
  ASSERT_EQ(NetReadResult::OtherFormat, ReadDatagram(other.data(), other.size(), back));
  EXPECT_STREQ("7.1.2", back.version);
  EXPECT_EQ(4242u, back.nonce);
  EXPECT_EQ(NET_FORMAT + 1, back.format);
}
