// The lobby without sockets: datagrams handed to the service, its replies
// caught by the send hook.
#include <gtest/gtest.h>

#include <cstring>

#include "net/keyed_hash.h"
#include "lobby/lobby_service.h"

namespace {

const NetAddress HOST = Ipv4Address(0xC0000201, 5000);
const NetAddress JOINER = Ipv4Address(0xC6336402, 6000);
const NetAddress STRANGER = Ipv4Address(0xCB007103, 7000);
const uint64_t SECRET[LOBBY_SECRET_WORDS] = {1, 2, 3, 4, 5, 6};

// An address literal (no look-up); all zero should it not read, which the
// tests' comparisons then show.
NetAddress Literal(const char* text, uint16_t port) {
  NetAddress found[NET_HOST_ADDRESSES] = {};
  char error[200];
  ResolveHost(text, port, found, error, sizeof error);
  return found[0];
}

struct Sent {
  NetAddress to;
  uint8_t data[1024];
  size_t size;
};
Sent sent[16];
int sentCount;

bool Catch(void*, const NetAddress& to, const uint8_t* data, size_t size) {
  if (sentCount < 16 && size <= sizeof sent[0].data) {
    sent[sentCount] = {to, {}, size};
    std::memcpy(sent[sentCount].data, data, size);
  }
  ++sentCount;
  return true;
}

LobbyService& Begin(uint32_t cap) {
  LobbyBegin(lobbyService, cap, SECRET, Catch, nullptr, nullptr, nullptr);
  sentCount = 0;
  return lobbyService;
}

// Sends d from `from`; the first reply read back (kind 0 when none).
LobbyDatagram Ask(LobbyService& s, const NetAddress& from, const LobbyDatagram& d, uint32_t nowMs,
                  size_t* requestSize = nullptr) {
  uint8_t bytes[LOBBY_MAX_DATAGRAM];
  const size_t n = WriteLobbyDatagram(d, bytes, sizeof bytes);
  if (requestSize != nullptr) *requestSize = n;
  sentCount = 0;
  LobbyReceive(s, from, bytes, n, nowMs);
  LobbyDatagram reply{};
  if (sentCount > 0) {
    EXPECT_EQ(ReadLobbyDatagram(sent[0].data, sent[0].size, reply), LobbyReadResult::Ok);
  }
  return reply;
}

LobbyDatagram Request(LobbyKind kind, uint64_t cookie, uint64_t code = 0, uint64_t ticket = 41) {
  LobbyDatagram d{};
  d.kind = kind;
  d.cookie = cookie;
  d.code = code;
  d.ticket = ticket;
  d.privates[0] = Ipv4Address(0x0A000005, 41414);
  return d;
}

// A registration with the cookie: the reply (CodeGiven, or the refusal).
LobbyDatagram Registered(LobbyService& s, const NetAddress& from, uint32_t nowMs, uint64_t ticket = 41) {
  return Ask(s, from, Request(LobbyKind::Register, LobbyCookie(s, from, nowMs), 0, ticket), nowMs);
}

uint64_t Register(LobbyService& s, const NetAddress& from, uint32_t nowMs, uint64_t ticket = 41) {
  const LobbyDatagram r = Registered(s, from, nowMs, ticket);
  EXPECT_EQ(r.kind, LobbyKind::CodeGiven);
  return r.code;
}

LobbyDatagram Joined(LobbyService& s, const NetAddress& from, uint64_t code, uint32_t nowMs, uint64_t ticket = 42) {
  return Ask(s, from, Request(LobbyKind::Join, LobbyCookie(s, from, nowMs), code, ticket), nowMs);
}

// A game datagram in the room's envelope, as a player sends it to the relay.
size_t Relayed(uint64_t token, size_t gameBytes, uint8_t* out, size_t capacity) {
  static const uint8_t game[NET_MAX_DATAGRAM] = {'B', 'T', 'n', 'w'};
  LobbyDatagram d{};
  d.kind = LobbyKind::Relayed;
  d.token = token;
  d.payload = game;
  d.payloadSize = gameBytes;
  return WriteLobbyDatagram(d, out, capacity);
}

// An address in the /24 (IPv4) numbered `net`, host `h`.
NetAddress InNetwork(uint32_t net, uint32_t h, uint16_t port = 9000) {
  return Ipv4Address(0x0A000000u | (net & 0xFFFF) << 8 | (h & 0xFF), port);
}

}  // namespace

TEST(LobbyTest, KeyedHashMatchesTheReferenceVectors) {
  // The published SipHash-2-4 vectors: key 00 01 ... 0f, message 00 01 ... of n bytes.
  const uint64_t key[2] = {0x0706050403020100ull, 0x0f0e0d0c0b0a0908ull};
  uint8_t message[64];
  for (int i = 0; i < 64; ++i) message[i] = static_cast<uint8_t>(i);
  const struct { size_t n; uint64_t hash; } vectors[] = {
      {0, 0x726fdb47dd0e0e31ull}, {1, 0x74f839c593dc67fdull},  {7, 0xab0200f58b01d137ull},
      {8, 0x93f5f5799a932462ull}, {15, 0xa129ca6149be45e5ull}, {63, 0x958a324ceb064572ull},
  };
  for (const auto& v : vectors) EXPECT_EQ(v.hash, SipHash24(key, message, v.n)) << v.n << " bytes";
  EXPECT_EQ(SipHash24(key, message, 24), KeyedHash(key, 0x0706050403020100ull, 0x0f0e0d0c0b0a0908ull,
                                                  0x1716151413121110ull));
}

TEST(LobbyTest, ReaderRefusesAnythingMisshapen) {
  LobbyDatagram d = Request(LobbyKind::Join, 7, LOBBY_CODE_COUNT - 1);
  uint8_t b[LOBBY_MAX_RELAYED + 8] = {};
  const size_t n = WriteLobbyDatagram(d, b, sizeof b);
  ASSERT_EQ(n, 124u);
  EXPECT_EQ(ReadLobbyDatagram(b, n, d), LobbyReadResult::Ok);
  EXPECT_EQ(ReadLobbyDatagram(b, n - 1, d), LobbyReadResult::Length);
  EXPECT_EQ(ReadLobbyDatagram(b, n + 1, d), LobbyReadResult::Length);
  EXPECT_EQ(ReadLobbyDatagram(b, sizeof b, d), LobbyReadResult::Length);  // past the longest kind
  EXPECT_EQ(ReadLobbyDatagram(b, 5, d), LobbyReadResult::Length);
  uint8_t c[sizeof b];
  const struct { size_t at; uint8_t value; LobbyReadResult result; } breaks[] = {
      {2, 'n', LobbyReadResult::Magic}, {4, 1, LobbyReadResult::Format}, {6, 10, LobbyReadResult::Kind},
      {7, 1, LobbyReadResult::Kind},    {23, 0xFF, LobbyReadResult::Field},  // the code's top byte
      {24, 0, LobbyReadResult::Field},  // the ticket (41) zero: no asker
      {66, 1, LobbyReadResult::Field},  // a port for the second address, which has none
      {105, 1, LobbyReadResult::Field}, // padding
  };
  for (const auto& x : breaks) {
    std::memcpy(c, b, n);
    c[x.at] = x.value;
    EXPECT_EQ(ReadLobbyDatagram(c, n, d), x.result) << x.at;
  }
  // A relayed datagram: a game datagram of 1 to NET_MAX_DATAGRAM bytes, and a token.
  EXPECT_EQ(ReadLobbyDatagram(b, Relayed(9, NET_MAX_DATAGRAM, b, sizeof b), d), LobbyReadResult::Ok);
  EXPECT_EQ(d.payloadSize, NET_MAX_DATAGRAM);
  EXPECT_EQ(ReadLobbyDatagram(b, LOBBY_RELAY_HEADER, d), LobbyReadResult::Length);
  EXPECT_EQ(ReadLobbyDatagram(b, LOBBY_MAX_RELAYED + 1, d), LobbyReadResult::Length);
  EXPECT_EQ(Relayed(9, NET_MAX_DATAGRAM + 1, b, sizeof b), 0u);
  EXPECT_EQ(ReadLobbyDatagram(b, Relayed(0, 20, b, sizeof b), d), LobbyReadResult::Field);  // no token

  // Peers name the relay (another lobby process), or none; half an address is refused.
  LobbyDatagram peers{};
  peers.kind = LobbyKind::Peers;
  peers.code = 5, peers.ticket = 6, peers.token = 7;
  peers.publics[0] = HOST;
  peers.relay = Ipv4Address(0xCB007151, LOBBY_DEFAULT_PORT);
  size_t m = WriteLobbyDatagram(peers, b, sizeof b);
  ASSERT_EQ(LOBBY_MAX_DATAGRAM, m);
  ASSERT_EQ(ReadLobbyDatagram(b, m, d), LobbyReadResult::Ok);
  EXPECT_TRUE(SameAddress(peers.relay, d.relay));
  peers.relay.port = 0;
  m = WriteLobbyDatagram(peers, b, sizeof b);
  EXPECT_EQ(ReadLobbyDatagram(b, m, d), LobbyReadResult::Field) << "an address without its port";
  LobbyDatagram error{};
  error.kind = LobbyKind::Error;
  error.ticket = 6;
  error.reason = LobbyError::Unavailable;
  m = WriteLobbyDatagram(error, b, sizeof b);
  EXPECT_EQ(ReadLobbyDatagram(b, m, d), LobbyReadResult::Ok);
  b[8] = 7;
  EXPECT_EQ(ReadLobbyDatagram(b, m, d), LobbyReadResult::Field) << "no reason past Unavailable";

  uint64_t code = 0;
  char text[LOBBY_CODE_TEXT];
  FormatLobbyCode(LOBBY_CODE_COUNT - 2, text);
  EXPECT_STREQ(text, "ZZZZ-ZZZY");
  ASSERT_TRUE(ParseLobbyCode("zzzzzzzy", code));
  EXPECT_EQ(code, LOBBY_CODE_COUNT - 2);
  for (const char* bad : {"ZZZZ-ZZZ", "ZZZZ-ZZZZZ", "ZZZ-ZZZZZ", "ZZZZ-ZZZ0", "OZZZ-ZZZZ", "ZZZZ--ZZZ"})
    EXPECT_FALSE(ParseLobbyCode(bad, code)) << bad;
}

TEST(LobbyTest, NoReplyLargerThanItsRequestAndNoStateBeforeTheCookie) {
  LobbyService& s = Begin(8);
  size_t requestSize = 0;
  for (LobbyKind kind : {LobbyKind::Register, LobbyKind::Join}) {
    const LobbyDatagram r = Ask(s, HOST, Request(kind, 12345), 1000, &requestSize);
    EXPECT_EQ(r.kind, LobbyKind::Challenge);
    EXPECT_EQ(r.ticket, 41u);  // the reply names the request
    EXPECT_LE(sent[0].size, requestSize);
  }
  EXPECT_EQ(s.counts.registered, 0u);
  const LobbyDatagram given = Registered(s, HOST, 1000);
  EXPECT_LE(sent[0].size, 60u);
  EXPECT_EQ(given.ticket, 41u);
  EXPECT_NE(given.token, 0u);
  // The cookie holds for the next window, not for another address or later.
  const uint64_t cookie = LobbyCookie(s, JOINER, 1000);
  EXPECT_EQ(Ask(s, STRANGER, Request(LobbyKind::Join, cookie, given.code), 1000).kind, LobbyKind::Challenge);
  EXPECT_EQ(Ask(s, JOINER, Request(LobbyKind::Join, cookie, given.code), 1000 + 3 * LOBBY_COOKIE_WINDOW_MS).kind,
            LobbyKind::Challenge);
  const LobbyDatagram peers = Ask(s, JOINER, Request(LobbyKind::Join, cookie, given.code, 42),
                                  1000 + LOBBY_COOKIE_WINDOW_MS, &requestSize);
  ASSERT_EQ(sentCount, 2);
  // Each side's Peers names that side's ticket and carries the room's token.
  LobbyDatagram toJoiner{};
  ASSERT_EQ(ReadLobbyDatagram(sent[1].data, sent[1].size, toJoiner), LobbyReadResult::Ok);
  EXPECT_LE(sent[0].size, requestSize);
  EXPECT_TRUE(SameAddress(sent[0].to, HOST));
  EXPECT_EQ(peers.ticket, 41u);
  EXPECT_EQ(toJoiner.ticket, 42u);
  EXPECT_EQ(toJoiner.token, given.token);
  EXPECT_TRUE(SameAddress(peers.publics[0], JOINER));
  EXPECT_EQ(Ipv4Of(peers.privates[0]), 0x0A000005u);
}

TEST(LobbyTest, ASidesSecondFamilyJoinsItsRoomOnlyWithItsTicket) {
  LobbyService& s = Begin(8);
  const NetAddress host6 = Literal("2001:db8:1::5", 5000), joiner6 = Literal("2001:db8:2::6", 6000);
  const NetAddress stranger6 = Literal("2001:db8:3::7", 7000);
  auto ask = [&](const NetAddress& from, LobbyKind kind, uint64_t ticket, uint64_t code) {
    return Ask(s, from, Request(kind, LobbyCookie(s, from, 1000), code, ticket), 1000);
  };
  const LobbyDatagram given = ask(HOST, LobbyKind::Register, 77, 0);
  const uint64_t code = given.code;
  EXPECT_NE(ask(stranger6, LobbyKind::Register, 78, 0).code, code);  // another ticket: its own room
  ASSERT_EQ(ask(joiner6, LobbyKind::Join, 99, code).kind, LobbyKind::Peers);
  // The host's IPv6 side, slower than the joiner: the same room, and the joiner hears of it.
  EXPECT_EQ(ask(host6, LobbyKind::Register, 77, 0).code, code);
  EXPECT_EQ(s.counts.registered, 2u);
  ASSERT_EQ(sentCount, 2);
  LobbyDatagram toJoiner{};
  ASSERT_EQ(ReadLobbyDatagram(sent[1].data, sent[1].size, toJoiner), LobbyReadResult::Ok);
  EXPECT_TRUE(SameAddress(toJoiner.publics[1], host6));
  // The joiner's IPv4 side comes with its ticket; a stranger with the code alone is refused.
  EXPECT_EQ(ask(Ipv4Address(Ipv4Of(STRANGER), 1), LobbyKind::Join, 98, code).kind, LobbyKind::Error);
  ASSERT_EQ(ask(JOINER, LobbyKind::Join, 99, code).kind, LobbyKind::Peers);
  ASSERT_EQ(sentCount, 2);
  LobbyDatagram toHost{};
  ASSERT_EQ(ReadLobbyDatagram(sent[0].data, sent[0].size, toHost), LobbyReadResult::Ok);
  EXPECT_TRUE(SameAddress(sent[0].to, HOST));
  EXPECT_TRUE(SameAddress(sent[1].to, joiner6));
  EXPECT_TRUE(SameAddress(toHost.publics[0], joiner6));
  EXPECT_TRUE(SameAddress(toHost.publics[1], JOINER));
  // Either of a side's addresses is relayed, to the other side's first.
  uint8_t b[LOBBY_MAX_RELAYED];
  const size_t n = Relayed(given.token, 100, b, sizeof b);
  sentCount = 0;
  LobbyReceive(s, host6, b, n, 1001);
  LobbyReceive(s, JOINER, b, n, 1001);
  ASSERT_EQ(sentCount, 2);
  EXPECT_TRUE(SameAddress(sent[0].to, joiner6));
  EXPECT_TRUE(SameAddress(sent[1].to, HOST));
}

// Limits count by network (/24, /64) in a keyed count-min sketch: no flood of
// new networks makes the lobby forget a network's count, and unknown codes
// are bounded by network and in all, so guessing cannot be spread out.
TEST(LobbyTest, LimitsHoldByNetworkAndGuessingIsBoundedInAll) {
  LobbyService& s = Begin(LOBBY_ROOM_SLOTS);  // room for the flood: the limits, not the quotas, refuse
  const uint64_t code = Register(s, HOST, 1000);
  uint32_t now = 2000;
  LobbyDatagram r = Joined(s, JOINER, code ^ 1, now);
  EXPECT_EQ(r.kind, LobbyKind::Error);
  EXPECT_EQ(r.reason, LobbyError::UnknownCode);
  EXPECT_EQ(r.ticket, 42u);
  for (uint32_t i = 0; i < LOBBY_UNKNOWN_PER_WINDOW; ++i) Joined(s, InNetwork(7, i), code + 1 + i, now);
  r = Joined(s, InNetwork(7, 200), code, now);
  EXPECT_EQ(r.reason, LobbyError::RateLimited) << "a network that guessed wrong this often may not look up";
  // Registrations: any address and port of a /24 or a /64 count as the one network,
  // also after a flood of registrations from a thousand other networks.
  for (uint32_t i = 0; i < 1000; ++i) Registered(s, InNetwork(1000 + i, 1), now, 1000 + i);
  for (uint32_t i = 0; i < LOBBY_REGISTRATIONS_PER_WINDOW; ++i)
    Registered(s, InNetwork(8, i, static_cast<uint16_t>(100 + i)), now, 500 + i);
  uint32_t limited = 0;
  for (uint32_t i = 0; i < 4; ++i) {
    NetAddress asker = Literal("2001:db8:9:9::1", 5000);
    asker.bytes[15] = static_cast<uint8_t>(i);
    for (uint32_t k = 0; k < LOBBY_REGISTRATIONS_PER_WINDOW / 2; ++k)
      limited += Registered(s, asker, now, 600 + i * 100 + k).reason == LobbyError::RateLimited;
  }
  EXPECT_EQ(limited, 4 * (LOBBY_REGISTRATIONS_PER_WINDOW / 2) - LOBBY_REGISTRATIONS_PER_WINDOW);
  EXPECT_EQ(Registered(s, InNetwork(8, 250), now, 999).reason, LobbyError::RateLimited);
  // The same limit a window later: counts age, for everyone at once.
  EXPECT_NE(Registered(s, InNetwork(8, 250), now + LOBBY_LIMIT_WINDOW_MS, 999).reason, LobbyError::RateLimited);

  // Unknown codes from many networks, each once: no more than the budget in
  // all; as it fills again, a network that guessed waits for half of it, a
  // network that did not (the friend) finds its room.
  s = Begin(16);
  const uint64_t room = Register(s, HOST, now);
  uint32_t unknown = 0;
  for (uint32_t i = 0; i < 4 * LOBBY_UNKNOWN_PER_S; ++i)
    unknown += Joined(s, InNetwork(3000 + i, 1), room ^ (i + 1), now).reason == LobbyError::UnknownCode;
  EXPECT_EQ(unknown, LOBBY_UNKNOWN_PER_S);
  now += 400;
  EXPECT_EQ(Joined(s, InNetwork(3000, 1), room, now).reason, LobbyError::RateLimited);
  EXPECT_EQ(Joined(s, JOINER, room, now).kind, LobbyKind::Peers);

  // Refreshes (with the host's ticket) keep the host's room, but not its code past the code's life.
  s = Begin(16);
  const uint64_t kept = Register(s, HOST, 1000);
  for (now = 2000; now < LOBBY_CODE_LIFE_MS + 2000; now += LOBBY_REFRESH_S * 1000) {
    EXPECT_EQ(Ask(s, HOST, Request(LobbyKind::Refresh, 0, kept), now).kind, LobbyKind::CodeGiven);
    LobbyTick(s, now);
  }
  EXPECT_NE(Joined(s, JOINER, kept, now).kind, LobbyKind::Peers);
  EXPECT_EQ(s.counts.expired, 1u);
}

// Refresh: a waiting room's counts only with the host's ticket from the
// host's address, at most every LOBBY_REFRESH_GAP_MS, and only the asker
// hears back. In a match either side's ticket counts from a new address too
// (its NAT gave it a new port), and the relay follows it there.
TEST(LobbyTest, RefreshesNeedASidesTicketAndAnswerTheHostAlone) {
  LobbyService& s = Begin(8);
  const LobbyDatagram given = Registered(s, HOST, 1000);
  const uint64_t code = given.code;
  EXPECT_EQ(Ask(s, STRANGER, Request(LobbyKind::Refresh, 0, code), 1000).kind, LobbyKind::Error)
      << "a waiting room's ticket from elsewhere";
  Joined(s, JOINER, code, 1000);
  LobbyDatagram forged = Request(LobbyKind::Refresh, 0, code, 777);  // the host's address, another ticket
  LobbyDatagram r = Ask(s, HOST, forged, 1500);
  EXPECT_EQ(r.kind, LobbyKind::Error);
  EXPECT_EQ(r.ticket, 777u) << "the refusal names the forged request, which the host drops";
  r = Ask(s, HOST, Request(LobbyKind::Refresh, 0, code), 1500);
  EXPECT_EQ(r.kind, LobbyKind::Peers);
  EXPECT_EQ(sentCount, 1) << "Peers to the asker alone";
  for (int i = 0; i < 20; ++i) Ask(s, HOST, Request(LobbyKind::Refresh, 0, code), 1500 + i);
  EXPECT_EQ(s.counts.refreshesIgnored, 20u);

  LobbyDatagram moved = Request(LobbyKind::Refresh, 0, code, 42);  // the joiner's ticket
  moved.path = 2;
  Ask(s, STRANGER, moved, 1600);
  EXPECT_EQ(sentCount, 0) << "no answer in a match";
  uint8_t b[LOBBY_MAX_RELAYED];
  const size_t n = Relayed(given.token, 100, b, sizeof b);
  LobbyReceive(s, HOST, b, n, 1601);
  ASSERT_EQ(sentCount, 1);
  EXPECT_TRUE(SameAddress(sent[0].to, STRANGER)) << "the relay follows the joiner's new address";
}

TEST(LobbyTest, TheRelayCarriesOnlyItsRoomsTokenWithinTheCapAndEndsWhenSilent) {
  LobbyService& s = Begin(2);
  const LobbyDatagram given = Registered(s, HOST, 1000);
  Joined(s, JOINER, given.code, 1000);
  uint8_t b[LOBBY_MAX_RELAYED];
  const size_t n = Relayed(given.token, 100, b, sizeof b);
  sentCount = 0;
  LobbyReceive(s, STRANGER, b, n, 1001);
  EXPECT_EQ(sentCount, 0);
  // Forged ones from the host's address (another token, or raw game datagrams) cost the room nothing.
  uint8_t forged[LOBBY_MAX_RELAYED];
  const size_t f = Relayed(given.token ^ 1, NET_MAX_DATAGRAM, forged, sizeof forged);
  for (int i = 0; i < 200; ++i) {
    LobbyReceive(s, JOINER, forged, f, 1001);
    LobbyReceive(s, JOINER, forged + LOBBY_RELAY_HEADER, NET_MAX_DATAGRAM, 1001);
  }
  EXPECT_EQ(sentCount, 0);
  EXPECT_EQ(s.counts.forged, 200u);
  LobbyReceive(s, HOST, b, n, 1001);
  ASSERT_EQ(sentCount, 1);
  EXPECT_TRUE(SameAddress(sent[0].to, JOINER));
  EXPECT_EQ(sent[0].size, n);
  // A second's worth each way; the rest of that second is dropped.
  const size_t big = Relayed(given.token, NET_MAX_DATAGRAM, b, sizeof b);
  for (int i = 0; i < 100; ++i) LobbyReceive(s, JOINER, b, big, 1002);
  EXPECT_EQ(s.counts.relayedDatagrams, 1u + LOBBY_RELAY_BYTES_PER_S / big);
  EXPECT_GT(s.counts.overCap, 0u);
  LobbyTick(s, 1002 + LOBBY_ROOM_SILENCE_MS);
  sentCount = 0;
  LobbyReceive(s, HOST, b, n, 1003 + LOBBY_ROOM_SILENCE_MS);
  EXPECT_EQ(sentCount, 0);
}

// Quotas: a network holds at most a share of the rooms; when the lobby is
// full, the network with the most waiting rooms gives up its oldest (its
// host is told at once), never a room of a network with few, and "the lobby
// is full" once the rooms are shared out evenly.
TEST(LobbyTest, AFloodFromAFewNetworksNeitherDropsAFriendsRoomNorShutsOutANewHost) {
  LobbyService& s = Begin(8);  // a network's share: 2
  const uint64_t friendCode = Register(s, HOST, 1000, 5);
  uint32_t now = 1000, ticket = 100;
  for (uint32_t net = 1; net <= 3; ++net)
    for (uint32_t i = 0; i < 3; ++i) {
      const LobbyDatagram r = Registered(s, InNetwork(net, i), now, ++ticket);
      EXPECT_EQ(r.kind == LobbyKind::CodeGiven, i < 2) << "a network's third waiting room is refused";
    }
  // Full (7 rooms of the flood's 3 networks and the friend's 1 = 7 + 1): a new network
  // still gets a code, and the room given up is a flooding network's, whose host hears of it.
  const LobbyDatagram fresh = Registered(s, InNetwork(9, 1), now, 900);
  EXPECT_EQ(fresh.kind, LobbyKind::CodeGiven);
  // Each newcomer after it takes a flooding network's oldest room, until none holds
  // two more than a newcomer: then the lobby is full, and the friend's room stays.
  for (uint32_t net = 10; net < 13; ++net) {
    Registered(s, InNetwork(net, 1), now, 900 + net);
    ASSERT_EQ(sentCount, 2) << "the room given up is told, then the newcomer";
    LobbyDatagram told{}, given{};
    ASSERT_EQ(ReadLobbyDatagram(sent[0].data, sent[0].size, told), LobbyReadResult::Ok);
    ASSERT_EQ(ReadLobbyDatagram(sent[1].data, sent[1].size, given), LobbyReadResult::Ok);
    EXPECT_EQ(told.reason, LobbyError::Dropped);
    EXPECT_NE(told.ticket, 5u);
    EXPECT_EQ(given.kind, LobbyKind::CodeGiven);
  }
  EXPECT_EQ(s.counts.dropped, 3u);
  EXPECT_EQ(Registered(s, InNetwork(13, 1), now, 913).reason, LobbyError::Full);
  EXPECT_EQ(Ask(s, HOST, Request(LobbyKind::Refresh, 0, friendCode, 5), now + 300).kind, LobbyKind::CodeGiven);
  // Joined rooms: at most a share a network, as host or as joiner.
  s = Begin(8);
  uint32_t joined = 0;
  for (uint32_t i = 0; i < 4; ++i) {
    const uint64_t c = Register(s, InNetwork(20 + i, 1), now, 300 + i);
    joined += Joined(s, InNetwork(30, i), c, now, 400 + i).kind == LobbyKind::Peers;
  }
  EXPECT_EQ(joined, 2u);
}

// ---- The client: a lobby and two players on a simulated network ----------

#include "lobby/lobby_client_state.h"

namespace {

const NetAddress LOBBY = Ipv4Address(0xCB007150, LOBBY_DEFAULT_PORT);
const NetAddress LOBBY6 = Literal("2001:db8:50::1", LOBBY_DEFAULT_PORT);
const NetAddress HOST6 = Literal("2001:db8:1::5", 5000), JOINER6 = Literal("2001:db8:2::6", 6000);

struct Wire {
  NetAddress from, to;
  uint8_t data[LOBBY_MAX_RELAYED];
  size_t size;
};

// Datagrams in flight, delivered at the next step; `blocked` drops those
// from one player to the other (a NAT that defeats punching that way).
struct Network {
  Wire queue[512];
  Wire flight[512];  // the step's deliveries
  int count;
  bool blocked[2];  // host to joiner, joiner to host
  uint64_t toLobby;
} network;

// Each side has an IPv4 address, and an IPv6 one the IPv4 blocks do not
// touch (a firewall that punching opens).
struct Side {
  NetAddress self, self6;
};
Side hostSide = {HOST, HOST6}, joinerSide = {JOINER, JOINER6}, lobbySide = {LOBBY, LOBBY6};

bool Post(void* context, const NetAddress& to, const uint8_t* data, size_t size) {
  const Side& side = context != nullptr ? *static_cast<Side*>(context) : lobbySide;
  const NetAddress from = IsIpv4(to) ? side.self : side.self6;
  const bool hostToJoiner = SameAddress(from, HOST) && SameAddress(to, JOINER);
  const bool joinerToHost = SameAddress(from, JOINER) && SameAddress(to, HOST);
  if ((hostToJoiner && network.blocked[0]) || (joinerToHost && network.blocked[1])) return true;
  if (network.count < 512 && size <= LOBBY_MAX_RELAYED) {
    Wire& w = network.queue[network.count++];
    w.from = from;
    w.to = to;
    std::memcpy(w.data, data, size);
    w.size = size;
  }
  return true;
}

bool LobbyPost(void*, const NetAddress& to, const uint8_t* data, size_t size) {
  return Post(nullptr, to, data, size);
}

// Runs the three for `ms` in 5 ms steps; the lobby answers when `lobbyOn`.
void Step(uint32_t& now, uint32_t ms, bool lobbyOn = true) {
  for (uint32_t end = now + ms; now < end; now += 5) {
    const int n = network.count;
    Wire* flight = network.flight;
    std::memcpy(flight, network.queue, sizeof(Wire) * static_cast<size_t>(n));
    network.count = 0;
    for (int i = 0; i < n; ++i) {
      const Wire& w = flight[i];
      if (SameAddress(w.to, LOBBY) || SameAddress(w.to, LOBBY6)) {
        ++network.toLobby;
        if (lobbyOn) LobbyReceive(lobbyService, w.from, w.data, w.size, now);
      } else if (SameAddress(w.to, HOST) || SameAddress(w.to, HOST6)) {
        LobbyClientReceive(lobbyClient, w.from, w.data, w.size, now);
      } else if (SameAddress(w.to, JOINER) || SameAddress(w.to, JOINER6)) {
        LobbyClientReceive(lobbyClientB, w.from, w.data, w.size, now);
      }
    }
    LobbyTick(lobbyService, now);
    LobbyClientPoll(lobbyClient, now);
    LobbyClientPoll(lobbyClientB, now);
  }
}

// The lobby's addresses (IPv6 first when there is one) and each side's own
// towards them.
const NetAddress LOBBIES[2] = {LOBBY6, LOBBY};
const NetAddress HOSTS[2] = {HOST6, HOST}, JOINERS[2] = {JOINER6, JOINER};

void Start(uint32_t now, bool blockHostToJoiner, bool blockJoinerToHost, bool ipv6 = false) {
  LobbyBegin(lobbyService, 8, SECRET, LobbyPost, nullptr, nullptr, nullptr);
  network = Network{};
  network.blocked[0] = blockHostToJoiner;
  network.blocked[1] = blockJoinerToHost;
  LobbyBeginHostInvite(lobbyClient, NetSessionRecord(1), LOBBIES + (ipv6 ? 0 : 1), ipv6 ? 2 : 1,
                       HOSTS + (ipv6 ? 0 : 1), DefaultNetOptions(), Post, &hostSide, now);
}

void StartJoiner(uint32_t now, uint64_t code, bool ipv6 = false) {
  LobbyBeginJoinInvite(lobbyClientB, NetSessionRecord(2), LOBBIES + (ipv6 ? 0 : 1), ipv6 ? 2 : 1, code,
                       JOINERS + (ipv6 ? 0 : 1), DefaultNetOptions(), Post, &joinerSide, now);
}

}  // namespace

TEST(LobbyClientTest, PunchesADirectPathOrFallsBackToTheRelay) {
  const struct { bool block[2]; bool ipv6; LobbyPath path; } cases[] = {
      {{false, false}, false, LobbyPath::Direct},
      {{true, true}, false, LobbyPath::Relayed},
      {{false, true}, false, LobbyPath::Relayed},  // one way open proves nothing
      {{true, true}, true, LobbyPath::Direct},     // IPv4 blocked, IPv6 open: direct over IPv6
  };
  for (const auto& k : cases) {
    uint32_t now = 1000;
    Start(now, k.block[0], k.block[1], k.ipv6);
    Step(now, 100);
    ASSERT_EQ(LobbyTakeClientEvent(lobbyClient), LobbyClientEvent::CodeGiven);
    StartJoiner(now, lobbyClient.code, k.ipv6);
    Step(now, LOBBY_PUNCH_MS + 1500);
    for (LobbyClient* c : {&lobbyClient, &lobbyClientB}) {
      EXPECT_EQ(LobbyTakeClientEvent(*c), LobbyClientEvent::Path);
      EXPECT_EQ(c->path, k.path) << k.block[0] << k.block[1];
      EXPECT_STREQ(LobbyPathFamily(*c), k.ipv6 ? "IPv6" : "IPv4");
      EXPECT_EQ(NetTakeEvent(*c->session), NetEvent::Connected);
    }
    EXPECT_EQ(lobbyService.counts.registered, 1u);  // both families' requests in one room
    EXPECT_TRUE(SameAddress(lobbyClient.peerPublic, k.ipv6 ? JOINER6 : JOINER));
    EXPECT_EQ(lobbyService.counts.relayedDatagrams > 0, k.path == LobbyPath::Relayed);
    // Late probes are still answered once the session runs, and a probe
    // without the room's token is not.
    LobbyDatagram probe{};
    probe.kind = LobbyKind::Probe;
    probe.token = lobbyClient.token ^ 1;
    probe.nonce = 3;
    probe.role = 1;
    uint8_t b[LOBBY_MAX_DATAGRAM];
    const size_t n = WriteLobbyDatagram(probe, b, sizeof b);
    network.count = 0;
    LobbyClientReceive(lobbyClient, JOINER, b, n, now);
    EXPECT_EQ(network.count, 0);
    b[8] ^= 1;  // the token's low byte: now the room's
    LobbyClientReceive(lobbyClient, JOINER, b, n, now);
    EXPECT_EQ(network.count, k.block[0] ? 0 : 1);
    // Over the relay, a game datagram from the lobby's address outside the envelope is forged.
    NetDatagram bye{};
    bye.kind = NetKind::Bye;
    bye.format = NET_FORMAT;
    bye.session = NetSessionStats(*lobbyClient.session).session;
    uint8_t raw[NET_MAX_DATAGRAM];
    const uint64_t before = NetSessionStats(*lobbyClient.session).received;
    LobbyClientReceive(lobbyClient, LOBBY, raw, WriteDatagram(bye, raw, sizeof raw), now);
    EXPECT_EQ(NetSessionStats(*lobbyClient.session).received, before);
    EXPECT_EQ(NetSessionStats(*lobbyClient.session).phase, NetPhase::Playing);
    if (k.path == LobbyPath::Direct && !k.ipv6) {
      // Past the lobby's silence for a joined room, the refreshes keep it;
      // then the direct path dies and both sides go to its relay.
      const NetFrameCalls calls = {nullptr, [](void*, int32_t) { return Action::NoAction; },
                                   [](void*, const NetFrame&) { return true; }};
      const auto play = [&](uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 5) {
          Step(now, 5);
          NetRunFrames(*lobbyClient.session, now, 5, calls);
          NetRunFrames(*lobbyClientB.session, now, 5, calls);
        }
      };
      play(2 * LOBBY_ROOM_SILENCE_MS);
      network.blocked[0] = network.blocked[1] = true;
      play(LOBBY_FALLBACK_MS + 1000);
      for (LobbyClient* c : {&lobbyClient, &lobbyClientB}) {
        EXPECT_EQ(c->path, LobbyPath::Relayed);
        EXPECT_EQ(NetSessionStats(*c->session).phase, NetPhase::Playing);
        EXPECT_GT(500u, NetSilentMs(*c->session, now)) << "heard through the relay";
      }
      EXPECT_TRUE(lobbyClient.fellBack || lobbyClientB.fellBack);
      EXPECT_GT(lobbyService.counts.relayedDatagrams, 0u);
    }
    NetClose(NetSessionRecord(1));
    NetClose(NetSessionRecord(2));
  }
}

TEST(LobbyClientTest, RefusalsStrangersAndASilentLobbyEndWithTheirText) {
  uint32_t now = 1000;
  Start(now, false, false);
  Step(now, 100);
  LobbyTakeClientEvent(lobbyClient);
  StartJoiner(now, lobbyClient.code ^ 1);
  // A stranger's Join reaches the waiting host directly: not taken.
  uint8_t join[NET_MAX_DATAGRAM];
  NetDatagram d{};
  d.kind = NetKind::Join;
  d.format = NET_FORMAT;
  const size_t n = WriteDatagram(d, join, sizeof join);
  ASSERT_GT(n, 0u);
  LobbyClientReceive(lobbyClient, STRANGER, join, n, now);
  Step(now, 100);
  EXPECT_EQ(lobbyClient.phase, LobbyClientPhase::Waiting);
  EXPECT_EQ(LobbyTakeClientEvent(lobbyClientB), LobbyClientEvent::Failed);
  EXPECT_NE(std::strstr(LobbyClientText(lobbyClientB), "knows no invite code"), nullptr);

  // No lobby: the requests stop after the answer time, and say so.
  StartJoiner(now, lobbyClient.code);
  network.toLobby = 0;
  Step(now, LOBBY_ANSWER_MS + 1000, false);
  EXPECT_EQ(lobbyClientB.phase, LobbyClientPhase::Failed);
  EXPECT_STREQ(LobbyClientText(lobbyClientB), "the lobby at 203.0.113.80:41415 does not answer");
  EXPECT_LE(network.toLobby, 1 + LOBBY_ANSWER_MS / LOBBY_ASK_RESEND_MS + 20);  // the host's refreshes besides
}

namespace {

size_t Bytes(const LobbyDatagram& d, uint8_t* out) { return WriteLobbyDatagram(d, out, LOBBY_MAX_RELAYED); }

// How many datagrams in the queue go to `to`.
int QueuedTo(const NetAddress& to) {
  int n = 0;
  for (int i = 0; i < network.count; ++i) n += SameAddress(network.queue[i].to, to);
  return n;
}

}  // namespace

// A stranger who knows the code, the token even, and forges the lobby's or
// the peer's address: each check of what comes in is shown to matter by a
// forgery that only it stops, beside the real datagram it lets through.
TEST(LobbyClientTest, ForgedRepliesProbesAndAnswersChangeNothing) {
  uint32_t now = 1000;
  Start(now, true, true);
  Step(now, 100);
  ASSERT_EQ(LobbyTakeClientEvent(lobbyClient), LobbyClientEvent::CodeGiven);
  uint8_t b[LOBBY_MAX_RELAYED];
  // The lobby's address, the host's own code, but not its ticket: an Error or a
  // raw game Join ends nothing (the relay's Joins come in the envelope only).
  LobbyDatagram error{};
  error.kind = LobbyKind::Error;
  error.reason = LobbyError::UnknownCode;
  error.code = lobbyClient.code;
  error.ticket = lobbyClient.ticket ^ 1;
  LobbyClientReceive(lobbyClient, LOBBY, b, Bytes(error, b), now);
  NetDatagram join{};
  join.kind = NetKind::Join;
  join.format = NET_FORMAT;
  uint8_t game[NET_MAX_DATAGRAM];
  const size_t joinSize = WriteDatagram(join, game, sizeof game);
  LobbyClientReceive(lobbyClient, LOBBY, game, joinSize, now);
  LobbyDatagram relayed{};
  relayed.kind = LobbyKind::Relayed;
  relayed.token = lobbyClient.token ^ 1;
  relayed.payload = game;
  relayed.payloadSize = joinSize;
  LobbyClientReceive(lobbyClient, LOBBY, b, Bytes(relayed, b), now);
  EXPECT_EQ(lobbyClient.phase, LobbyClientPhase::Waiting);
  // A Dropped naming the ticket is the lobby's own: the host asks anew at once.
  error.reason = LobbyError::Dropped;
  error.ticket = lobbyClient.ticket;
  LobbyClientReceive(lobbyClient, LOBBY, b, Bytes(error, b), now);
  Step(now, 100);
  EXPECT_EQ(LobbyTakeClientEvent(lobbyClient), LobbyClientEvent::CodeGiven);
  EXPECT_EQ(lobbyClient.codesGiven, 2u);
  EXPECT_EQ(lobbyClient.phase, LobbyClientPhase::Waiting);

  // The joiner, both ways blocked: probing, no answer yet.
  StartJoiner(now, lobbyClient.code);
  Step(now, 20);
  ASSERT_EQ(lobbyClientB.phase, LobbyClientPhase::Punching);
  ASSERT_GE(lobbyClientB.targetCount, 1);
  // A forged Peers (no ticket) adds no target; a lying one (the lobby's own,
  // with the ticket) adds no broadcast, multicast or far loopback address.
  LobbyDatagram peers{};
  peers.kind = LobbyKind::Peers;
  peers.code = lobbyClient.code;
  peers.token = lobbyClientB.token;
  peers.role = 1;
  peers.ticket = lobbyClientB.ticket ^ 1;
  peers.publics[0] = STRANGER;
  const int32_t targets = lobbyClientB.targetCount;
  LobbyClientReceive(lobbyClientB, LOBBY, b, Bytes(peers, b), now);
  EXPECT_EQ(lobbyClientB.targetCount, targets);
  peers.ticket = lobbyClientB.ticket;
  peers.publics[0] = Ipv4Address(0xFFFFFFFF, 9);
  peers.publics[1] = Ipv4Address(0xE0000001, 9);
  peers.privates[0] = Ipv4Address(0x7F000001, 9);
  peers.privates[1] = Literal("ff02::1", 9);
  LobbyClientReceive(lobbyClientB, LOBBY, b, Bytes(peers, b), now);
  EXPECT_EQ(lobbyClientB.targetCount, targets);
  // Answers: from a stranger with the token and the probe's nonce, or from the
  // host's address with another nonce, are no path; the true one is.
  LobbyDatagram answer{};
  answer.kind = LobbyKind::Probe;
  answer.token = lobbyClientB.token;
  answer.nonce = lobbyClientB.nonces[0];
  answer.role = 0;
  answer.answer = 1;
  LobbyClientReceive(lobbyClientB, STRANGER, b, Bytes(answer, b), now);
  answer.nonce ^= 1;
  LobbyClientReceive(lobbyClientB, lobbyClientB.targets[0], b, Bytes(answer, b), now);
  answer.token ^= 1;
  answer.nonce ^= 1;
  LobbyClientReceive(lobbyClientB, lobbyClientB.targets[0], b, Bytes(answer, b), now);
  EXPECT_EQ(lobbyClientB.phase, LobbyClientPhase::Punching);
  // The host: a probe without the token earns no answer and no way in for a Join.
  LobbyDatagram probe = answer;
  probe.answer = 0;
  probe.role = 1;
  network.count = 0;
  LobbyClientReceive(lobbyClient, STRANGER, b, Bytes(probe, b), now);
  LobbyClientReceive(lobbyClient, STRANGER, game, joinSize, now);
  EXPECT_EQ(network.count, 0);
  EXPECT_NE(lobbyClient.phase, LobbyClientPhase::Session);
  // Through the punch each address gets at most its share of probes; then the
  // true answer (the address probed, its nonce) is the path.
  const NetAddress first = lobbyClientB.targets[0];
  int probes = 0;
  for (uint32_t end = now + LOBBY_PUNCH_MS - 100; now < end;) {
    probes += QueuedTo(first);
    Step(now, 5);
  }
  EXPECT_LE(probes, LOBBY_PROBES_PER_TARGET);
  EXPECT_GE(probes, 3);
  answer.token = lobbyClientB.token;
  answer.nonce = lobbyClientB.nonces[0];
  LobbyClientReceive(lobbyClientB, first, b, Bytes(answer, b), now);
  EXPECT_EQ(lobbyClientB.phase, LobbyClientPhase::Session);
  EXPECT_EQ(lobbyClientB.path, LobbyPath::Direct);
  NetClose(NetSessionRecord(1));
  NetClose(NetSessionRecord(2));
}

// A waiting host whose lobby process falls silent tries the lobby's next
// address with its refresh (a lobby of several processes over one store); an
// answer from it counts as re-attached, and its "unavailable" ends the wait
// with that text.
TEST(LobbyClientTest, AWaitingHostMovesToTheLobbysNextAddressWhenItsProcessFallsSilent) {
  uint32_t now = 1000;
  Start(now, false, false);
  const NetAddress spare = Ipv4Address(0xCB007151, LOBBY_DEFAULT_PORT);
  LobbyAddSpare(lobbyClient, spare);
  LobbyAddSpare(lobbyClient, LOBBY);  // already the lobby's: not a spare
  EXPECT_EQ(1, lobbyClient.spareCount);
  Step(now, 100);
  ASSERT_EQ(LobbyClientEvent::CodeGiven, LobbyTakeClientEvent(lobbyClient));
  const uint64_t code = lobbyClient.code;
  Step(now, lobbyClient.refreshS * 1000u - 200, false);
  EXPECT_TRUE(SameAddress(LOBBY, lobbyClient.lobby)) << "one refresh unanswered is not silence";
  Step(now, 1000, false);
  EXPECT_TRUE(SameAddress(spare, lobbyClient.lobby)) << "the next address tried";
  EXPECT_TRUE(SameAddress(spare, lobbyClient.lobbies[0]));
  EXPECT_EQ(LobbyClientPhase::Waiting, lobbyClient.phase);
  LobbyDatagram given{};
  given.kind = LobbyKind::CodeGiven;
  given.code = code;
  given.ticket = lobbyClient.ticket;
  given.token = lobbyClient.token;
  given.refreshS = 2;
  uint8_t b[LOBBY_MAX_DATAGRAM];
  LobbyClientReceive(lobbyClient, spare, b, WriteLobbyDatagram(given, b, sizeof b), now);
  EXPECT_EQ(1u, LobbyClientFigures(lobbyClient).reattaches);
  EXPECT_EQ(code, LobbyClientFigures(lobbyClient).code) << "the same code";
  EXPECT_EQ(LobbyClientEvent::None, LobbyTakeClientEvent(lobbyClient)) << "no new code shown";
  LobbyDatagram error{};
  error.kind = LobbyKind::Error;
  error.reason = LobbyError::Unavailable;
  error.code = code;
  error.ticket = lobbyClient.ticket;
  LobbyClientReceive(lobbyClient, spare, b, WriteLobbyDatagram(error, b, sizeof b), now);
  EXPECT_EQ(LobbyClientPhase::Failed, lobbyClient.phase);
  EXPECT_STREQ("the lobby is unavailable", LobbyClientText(lobbyClient));
}
