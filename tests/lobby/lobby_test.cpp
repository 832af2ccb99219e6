// The lobby without sockets: datagrams handed to the service, its replies
// caught by the send hook.
#include <gtest/gtest.h>

#include <cstring>

#include "lobby/lobby_service.h"

namespace {

const NetAddress HOST = Ipv4Address(0xC0000201, 5000);
const NetAddress JOINER = Ipv4Address(0xC6336402, 6000);
const NetAddress STRANGER = Ipv4Address(0xCB007103, 7000);
const uint64_t SECRET[4] = {1, 2, 3, 4};

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

LobbyDatagram Request(LobbyKind kind, uint64_t cookie, uint64_t code = 0) {
  LobbyDatagram d{};
  d.kind = kind;
  d.cookie = cookie;
  d.code = code;
  d.privates[0] = Ipv4Address(0x0A000005, 41414);
  return d;
}

uint64_t Register(LobbyService& s, const NetAddress& from, uint32_t nowMs) {
  const LobbyDatagram r = Ask(s, from, Request(LobbyKind::Register, LobbyCookie(s, from, nowMs)), nowMs);
  EXPECT_EQ(r.kind, LobbyKind::CodeGiven);
  return r.code;
}

}  // namespace

TEST(LobbyTest, ReaderRefusesAnythingMisshapen) {
  LobbyDatagram d = Request(LobbyKind::Join, 7, LOBBY_CODE_COUNT - 1);
  uint8_t b[LOBBY_MAX_DATAGRAM + 8] = {};
  const size_t n = WriteLobbyDatagram(d, b, sizeof b);
  ASSERT_EQ(n, 90u);
  EXPECT_EQ(ReadLobbyDatagram(b, n, d), LobbyReadResult::Ok);
  EXPECT_EQ(ReadLobbyDatagram(b, n - 1, d), LobbyReadResult::Length);
  EXPECT_EQ(ReadLobbyDatagram(b, n + 1, d), LobbyReadResult::Length);
  EXPECT_EQ(ReadLobbyDatagram(b, sizeof b, d), LobbyReadResult::Length);  // past the longest kind
  EXPECT_EQ(ReadLobbyDatagram(b, 5, d), LobbyReadResult::Length);
  uint8_t c[sizeof b];
  const struct { size_t at; uint8_t value; LobbyReadResult result; } breaks[] = {
      {2, 'n', LobbyReadResult::Magic}, {4, 1, LobbyReadResult::Format}, {6, 9, LobbyReadResult::Kind},
      {7, 1, LobbyReadResult::Kind},    {23, 0xFF, LobbyReadResult::Field},  // the code's top byte
      {66, 1, LobbyReadResult::Field},  // a port for the second address, which has none
      {89, 1, LobbyReadResult::Field},  // padding
  };
  for (const auto& x : breaks) {
    std::memcpy(c, b, n);
    c[x.at] = x.value;
    EXPECT_EQ(ReadLobbyDatagram(c, n, d), x.result) << x.at;
  }
  d = Request(LobbyKind::Refresh, 0, 5);
  ASSERT_EQ(WriteLobbyDatagram(d, c, sizeof c), 90u);
  c[89] = 1;  // padding
  EXPECT_EQ(ReadLobbyDatagram(c, 90, d), LobbyReadResult::Field);

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
    EXPECT_LE(sent[0].size, requestSize);
  }
  EXPECT_EQ(s.counts.registered, 0u);
  const uint64_t code = Register(s, HOST, 1000);
  EXPECT_LE(sent[0].size, requestSize);
  // The cookie holds for the next window, not for another address or later.
  const uint64_t cookie = LobbyCookie(s, JOINER, 1000);
  EXPECT_EQ(Ask(s, STRANGER, Request(LobbyKind::Join, cookie, code), 1000).kind, LobbyKind::Challenge);
  EXPECT_EQ(Ask(s, JOINER, Request(LobbyKind::Join, cookie, code), 1000 + 3 * LOBBY_COOKIE_WINDOW_MS).kind,
            LobbyKind::Challenge);
  const LobbyDatagram peers =
      Ask(s, JOINER, Request(LobbyKind::Join, cookie, code), 1000 + LOBBY_COOKIE_WINDOW_MS, &requestSize);
  ASSERT_EQ(sentCount, 2);
  EXPECT_LE(sent[0].size, requestSize);
  EXPECT_TRUE(SameAddress(sent[0].to, HOST));
  EXPECT_TRUE(SameAddress(peers.publics[0], JOINER));
  EXPECT_EQ(Ipv4Of(peers.privates[0]), 0x0A000005u);
}

TEST(LobbyTest, ASidesSecondFamilyJoinsItsRoomOnlyWithItsTicket) {
  LobbyService& s = Begin(8);
  const NetAddress host6 = Literal("2001:db8:1::5", 5000), joiner6 = Literal("2001:db8:2::6", 6000);
  const NetAddress stranger6 = Literal("2001:db8:3::7", 7000);
  auto ask = [&](const NetAddress& from, LobbyKind kind, uint64_t ticket, uint64_t code) {
    LobbyDatagram d = Request(kind, LobbyCookie(s, from, 1000), code);
    d.ticket = ticket;
    return Ask(s, from, d, 1000);
  };
  const uint64_t code = ask(HOST, LobbyKind::Register, 77, 0).code;
  EXPECT_NE(ask(stranger6, LobbyKind::Register, 78, 0).code, code);  // another ticket: its own room
  ASSERT_EQ(ask(joiner6, LobbyKind::Join, 99, code).kind, LobbyKind::Peers);
  // The host's IPv6 side, slower than the joiner: the same room, and the joiner hears of it.
  EXPECT_EQ(ask(host6, LobbyKind::Register, 77, 0).code, code);
  EXPECT_EQ(s.counts.registered, 2u);
  ASSERT_EQ(sentCount, 3);
  LobbyDatagram toJoiner{};
  ASSERT_EQ(ReadLobbyDatagram(sent[2].data, sent[2].size, toJoiner), LobbyReadResult::Ok);
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
  uint8_t game[100] = {'B', 'T', 'n', 'w'};
  sentCount = 0;
  LobbyReceive(s, host6, game, sizeof game, 1001);
  LobbyReceive(s, JOINER, game, sizeof game, 1001);
  ASSERT_EQ(sentCount, 2);
  EXPECT_TRUE(SameAddress(sent[0].to, joiner6));
  EXPECT_TRUE(SameAddress(sent[1].to, HOST));
}

TEST(LobbyTest, CodesAreRefusedWhenWrongOrExpiredAndGuessingIsRateLimited) {
  LobbyService& s = Begin(16);
  const uint64_t code = Register(s, HOST, 1000);
  uint32_t now = 2000;
  LobbyDatagram r = Ask(s, JOINER, Request(LobbyKind::Join, LobbyCookie(s, JOINER, now), code ^ 1), now);
  EXPECT_EQ(r.kind, LobbyKind::Error);
  EXPECT_EQ(r.reason, LobbyError::UnknownCode);
  for (int i = 0; i < LOBBY_LOOKUPS_PER_WINDOW; ++i)
    Ask(s, STRANGER, Request(LobbyKind::Join, LobbyCookie(s, STRANGER, now), i), now);
  r = Ask(s, STRANGER, Request(LobbyKind::Join, LobbyCookie(s, STRANGER, now), code), now);
  EXPECT_EQ(r.reason, LobbyError::RateLimited);  // even the right code, in this window
  for (int i = 0; i < LOBBY_REGISTRATIONS_PER_WINDOW + 4; ++i) {
    const NetAddress asker = Ipv4Address(Ipv4Of(STRANGER), static_cast<uint16_t>(100 + i));
    Ask(s, asker, Request(LobbyKind::Register, LobbyCookie(s, asker, now)), now);
  }
  EXPECT_EQ(s.counts.registered, 1u + LOBBY_REGISTRATIONS_PER_WINDOW);  // any port counts as the address
  for (int i = 0; i < LOBBY_REGISTRATIONS_PER_WINDOW + 4; ++i) {
    NetAddress asker = Literal("2001:db8:9:9::1", 5000);
    asker.bytes[15] = static_cast<uint8_t>(i);  // any address of a /64 counts as the one network
    Ask(s, asker, Request(LobbyKind::Register, LobbyCookie(s, asker, now)), now);
  }
  EXPECT_EQ(s.counts.registered, 1u + 2 * LOBBY_REGISTRATIONS_PER_WINDOW);
  // Refreshes keep the host's room, but not its code past the code's life.
  for (now = 2000; now < LOBBY_CODE_LIFE_MS + 2000; now += LOBBY_REFRESH_S * 1000) {
    Ask(s, HOST, Request(LobbyKind::Refresh, 0, code), now);
    LobbyTick(s, now);
  }
  r = Ask(s, JOINER, Request(LobbyKind::Join, LobbyCookie(s, JOINER, now), code), now);
  EXPECT_NE(r.kind, LobbyKind::Peers);
  EXPECT_EQ(s.counts.expired, 1u);
}

TEST(LobbyTest, TheRelayCarriesOnlyItsRoomWithinTheCapAndEndsWhenSilent) {
  LobbyService& s = Begin(2);
  const uint64_t code = Register(s, HOST, 1000);
  Ask(s, JOINER, Request(LobbyKind::Join, LobbyCookie(s, JOINER, 1000), code), 1000);
  uint8_t game[1000] = {'B', 'T', 'n', 'w'};
  sentCount = 0;
  LobbyReceive(s, STRANGER, game, 100, 1001);
  EXPECT_EQ(sentCount, 0);
  LobbyReceive(s, HOST, game, 100, 1001);
  ASSERT_EQ(sentCount, 1);
  EXPECT_TRUE(SameAddress(sent[0].to, JOINER));
  // A second's worth each way; the rest of that second is dropped.
  for (int i = 0; i < 40; ++i) LobbyReceive(s, JOINER, game, sizeof game, 1002);
  EXPECT_EQ(s.counts.relayedDatagrams, 1u + LOBBY_RELAY_BYTES_PER_S / sizeof game);
  EXPECT_GT(s.counts.overCap, 0u);
  LobbyTick(s, 1002 + LOBBY_ROOM_SILENCE_MS);
  sentCount = 0;
  LobbyReceive(s, HOST, game, 100, 1003 + LOBBY_ROOM_SILENCE_MS);
  EXPECT_EQ(sentCount, 0);

  // At the cap the oldest waiting room gives way; a joined one never does.
  const uint64_t first = Register(s, HOST, 20000);
  Register(s, JOINER, 20001);
  Register(s, STRANGER, 20002);
  EXPECT_EQ(Ask(s, JOINER, Request(LobbyKind::Refresh, 0, first), 20003).kind, LobbyKind::Error);
  EXPECT_EQ(s.counts.dropped, 1u);
}

// ---- The client: a lobby and two players on a simulated network ----------

#include "lobby/lobby_client.h"

namespace {

const NetAddress LOBBY = Ipv4Address(0xCB007150, LOBBY_DEFAULT_PORT);
const NetAddress LOBBY6 = Literal("2001:db8:50::1", LOBBY_DEFAULT_PORT);
const NetAddress HOST6 = Literal("2001:db8:1::5", 5000), JOINER6 = Literal("2001:db8:2::6", 6000);

struct Wire {
  NetAddress from, to;
  uint8_t data[NET_MAX_DATAGRAM];
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
  if (network.count < 512 && size <= NET_MAX_DATAGRAM) {
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
    // with another code is not.
    LobbyDatagram probe{};
    probe.kind = LobbyKind::Probe;
    probe.code = lobbyClient.code ^ 1;
    probe.role = 1;
    uint8_t b[LOBBY_MAX_DATAGRAM];
    const size_t n = WriteLobbyDatagram(probe, b, sizeof b);
    network.count = 0;
    LobbyClientReceive(lobbyClient, JOINER, b, n, now);
    EXPECT_EQ(network.count, 0);
    b[8] ^= 1;  // the code's low byte: now the room's
    LobbyClientReceive(lobbyClient, JOINER, b, n, now);
    EXPECT_EQ(network.count, k.block[0] ? 0 : 1);
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
