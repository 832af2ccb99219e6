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
  d.privateAddress = Ipv4Address(0x0A000005, 41414);
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
  ASSERT_EQ(n, 30u);
  EXPECT_EQ(ReadLobbyDatagram(b, n, d), LobbyReadResult::Ok);
  EXPECT_EQ(ReadLobbyDatagram(b, n - 1, d), LobbyReadResult::Length);
  EXPECT_EQ(ReadLobbyDatagram(b, n + 1, d), LobbyReadResult::Length);
  EXPECT_EQ(ReadLobbyDatagram(b, sizeof b, d), LobbyReadResult::Length);  // past the longest kind
  EXPECT_EQ(ReadLobbyDatagram(b, 5, d), LobbyReadResult::Length);
  uint8_t c[sizeof b];
  const struct { size_t at; uint8_t value; LobbyReadResult result; } breaks[] = {
      {2, 'n', LobbyReadResult::Magic}, {4, 2, LobbyReadResult::Format}, {6, 9, LobbyReadResult::Kind},
      {7, 1, LobbyReadResult::Kind},    {23, 0xFF, LobbyReadResult::Field},  // the code's top byte
  };
  for (const auto& x : breaks) {
    std::memcpy(c, b, n);
    c[x.at] = x.value;
    EXPECT_EQ(ReadLobbyDatagram(c, n, d), x.result) << x.at;
  }
  d = Request(LobbyKind::Refresh, 0, 5);
  ASSERT_EQ(WriteLobbyDatagram(d, c, sizeof c), 32u);
  c[31] = 1;  // padding
  EXPECT_EQ(ReadLobbyDatagram(c, 32, d), LobbyReadResult::Field);

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
  EXPECT_TRUE(SameAddress(peers.publicAddress, JOINER));
  EXPECT_EQ(Ipv4Of(peers.privateAddress), 0x0A000005u);
}

TEST(LobbyTest, CodesAreRefusedWhenWrongOrExpiredAndGuessingIsRateLimited) {
  LobbyService& s = Begin(8);
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

struct Side {
  NetAddress self;
};
Side hostSide = {HOST}, joinerSide = {JOINER};

bool Post(void* context, const NetAddress& to, const uint8_t* data, size_t size) {
  const NetAddress from = context != nullptr ? static_cast<Side*>(context)->self : LOBBY;
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
      if (SameAddress(w.to, LOBBY)) {
        ++network.toLobby;
        if (lobbyOn) LobbyReceive(lobbyService, w.from, w.data, w.size, now);
      } else if (SameAddress(w.to, HOST)) {
        LobbyClientReceive(lobbyClient, w.from, w.data, w.size, now);
      } else if (SameAddress(w.to, JOINER)) {
        LobbyClientReceive(lobbyClientB, w.from, w.data, w.size, now);
      }
    }
    LobbyTick(lobbyService, now);
    LobbyClientPoll(lobbyClient, now);
    LobbyClientPoll(lobbyClientB, now);
  }
}

void Start(uint32_t now, bool blockHostToJoiner, bool blockJoinerToHost) {
  LobbyBegin(lobbyService, 8, SECRET, LobbyPost, nullptr, nullptr, nullptr);
  network = Network{};
  network.blocked[0] = blockHostToJoiner;
  network.blocked[1] = blockJoinerToHost;
  LobbyBeginHostInvite(lobbyClient, NetSessionRecord(1), LOBBY, HOST, DefaultNetOptions(), Post, &hostSide, now);
}

}  // namespace

TEST(LobbyClientTest, PunchesADirectPathOrFallsBackToTheRelay) {
  const struct { bool block[2]; LobbyPath path; } cases[] = {
      {{false, false}, LobbyPath::Direct},
      {{true, true}, LobbyPath::Relayed},
      {{false, true}, LobbyPath::Relayed},  // one way open proves nothing
  };
  for (const auto& k : cases) {
    uint32_t now = 1000;
    Start(now, k.block[0], k.block[1]);
    Step(now, 100);
    ASSERT_EQ(LobbyTakeClientEvent(lobbyClient), LobbyClientEvent::CodeGiven);
    LobbyBeginJoinInvite(lobbyClientB, NetSessionRecord(2), LOBBY, lobbyClient.code, JOINER, DefaultNetOptions(),
                         Post, &joinerSide, now);
    Step(now, LOBBY_PUNCH_MS + 1500);
    for (LobbyClient* c : {&lobbyClient, &lobbyClientB}) {
      EXPECT_EQ(LobbyTakeClientEvent(*c), LobbyClientEvent::Path);
      EXPECT_EQ(c->path, k.path) << k.block[0] << k.block[1];
      EXPECT_EQ(NetTakeEvent(*c->session), NetEvent::Connected);
    }
    EXPECT_TRUE(SameAddress(lobbyClient.peerPublic, JOINER));
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
  LobbyBeginJoinInvite(lobbyClientB, NetSessionRecord(2), LOBBY, lobbyClient.code ^ 1, JOINER, DefaultNetOptions(),
                       Post, &joinerSide, now);
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
  LobbyBeginJoinInvite(lobbyClientB, NetSessionRecord(2), LOBBY, lobbyClient.code, JOINER, DefaultNetOptions(), Post,
                       &joinerSide, now);
  network.toLobby = 0;
  Step(now, LOBBY_ANSWER_MS + 1000, false);
  EXPECT_EQ(lobbyClientB.phase, LobbyClientPhase::Failed);
  EXPECT_STREQ(LobbyClientText(lobbyClientB), "the lobby at 203.0.113.80:41415 does not answer");
  EXPECT_LE(network.toLobby, 1 + LOBBY_ANSWER_MS / LOBBY_ASK_RESEND_MS + 20);  // the host's refreshes besides
}
