// The lobby's shared store: the same rows of calls against the Memory store
// and, where redis-server is installed, a Redis store on a redis-server of
// the test's own (a loopback port the system picked, no disk, stopped by its
// process id), so the two are shown to agree; then two lobby services over
// one store acting as one lobby, a Join at the one told to the other.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "lobby/lobby_service.h"
#include "lobby/lobby_store.h"

namespace {

struct Answers {
  std::vector<LobbyStoreAnswer> got;
  std::vector<uint64_t> told;
};

void Done(void* context, uint32_t, const LobbyStoreAnswer& a) { static_cast<Answers*>(context)->got.push_back(a); }
void Told(void* context, uint64_t code) { static_cast<Answers*>(context)->told.push_back(code); }

uint32_t now = 1000;

// The answers so far, once `count` have come (a Redis store's take a poll).
const LobbyStoreAnswer& Next(LobbyStore& st, Answers& a, size_t count) {
  for (int i = 0; i < 2000 && a.got.size() < count; ++i) {
    LobbyStorePoll(st, now);
    if (st.kind == LobbyStoreKind::Redis) LobbyRedisWait(st, -1, 1);
  }
  static const LobbyStoreAnswer none{LobbyStoreResult::Unavailable, {}, false, 0xdeadbeef, 0xdeadbeef, 0xdeadbeef};
  return a.got.size() >= count ? a.got[count - 1] : none;
}

LobbyStoredRoom RoomOf(uint64_t code) {
  LobbyStoredRoom r{};
  r.code = code;
  r.token = 0x70C3u + code;
  r.hostTicketHash = 0x4A5Bu;
  r.owner = 11;
  r.hostPublic[0] = Ipv4Address(0xC0000201, 5000);
  r.relay[1] = Ipv4Address(0x7F000001, 41415);
  return r;
}

// The rows: each call, and what every kind of store answers to it. `st` and
// `other` serve processes 11 and 22 (one Memory store serves both).
void StoreRows(LobbyStore& st, int32_t who, LobbyStore& other, Answers& a, Answers& b, const char* kind) {
  SCOPED_TRACE(kind);
  size_t n = 0;
  const uint64_t k1[4] = {1, 2, 3, 4}, k2[4] = {5, 6, 7, 8};
  LobbyStoreKeys(st, who, k1, 0);
  EXPECT_EQ(4u, Next(st, a, ++n).room.joinerTicketHash) << "the first process's keys are set";
  LobbyStoreKeys(st, who, k2, 0);
  EXPECT_EQ(1u, Next(st, a, ++n).room.code) << "and kept: a later process takes them";
  const uint64_t code = 123456789, rate = 0xA1, unknown = 0xA2, all = 0xA3;
  LobbyStoreRegister(st, who, RoomOf(code), 60000, rate, 60000, 0);
  EXPECT_EQ(LobbyStoreResult::Done, Next(st, a, ++n).result);
  EXPECT_EQ(1u, a.got[n - 1].count);
  LobbyStoreRegister(st, who, RoomOf(code), 60000, rate, 60000, 0);
  EXPECT_EQ(LobbyStoreResult::Taken, Next(st, a, ++n).result) << "a code in use";
  EXPECT_EQ(2u, a.got[n - 1].count) << "counted all the same";
  LobbyStoreLookUp(st, who, code, 0xB1, unknown, all, 60000, 0);
  const LobbyStoreAnswer found = Next(st, a, ++n);
  EXPECT_EQ(LobbyStoreResult::Done, found.result);
  EXPECT_FALSE(found.joined);
  EXPECT_EQ(RoomOf(code).token, found.room.token);
  EXPECT_TRUE(SameAddress(RoomOf(code).relay[1], found.room.relay[1])) << "the owner's relay";
  EXPECT_EQ(1u, found.count);
  EXPECT_EQ(0u, found.unknown);
  LobbyStoreLookUp(st, who, code + 1, 0, unknown, all, 60000, 0);
  EXPECT_EQ(LobbyStoreResult::None, Next(st, a, ++n).result) << "no such room";
  LobbyStoreChargeUnknown(st, who, unknown, 60000, all);
  LobbyStoreChargeUnknown(st, who, unknown, 60000, all);
  LobbyStoreLookUp(st, who, code + 1, 0, unknown, all, 60000, 0);
  EXPECT_EQ(2u, Next(st, a, ++n).unknown) << "the network's unknown codes";
  EXPECT_EQ(2u, a.got[n - 1].unknownAll) << "and all networks'";
  LobbyStoredRoom joined = RoomOf(code);
  joined.joinerTicketHash = 0x5C6Du;
  joined.joinerPublic[0] = Ipv4Address(0xC6336402, 6000);
  LobbyStoreJoin(st, who, joined, 60000, 0);
  EXPECT_EQ(LobbyStoreResult::Done, Next(st, a, ++n).result);
  LobbyStoreJoin(st, who, joined, 60000, 0);
  EXPECT_EQ(LobbyStoreResult::Taken, Next(st, a, ++n).result) << "one joiner only, whichever process it asked";
  LobbyStoreLookUp(st, who, code, 0, unknown, all, 60000, 0);
  EXPECT_TRUE(Next(st, a, ++n).joined);
  EXPECT_EQ(0x5C6Du, a.got[n - 1].room.joinerTicketHash);
  LobbyStoredRoom moved = RoomOf(code);
  moved.owner = 22;
  LobbyStoreMove(st, who, moved, 0);
  EXPECT_EQ(LobbyStoreResult::Done, Next(st, a, ++n).result) << "a host re-attached at another process";
  LobbyStoreMove(st, who, RoomOf(code + 1), 0);
  EXPECT_EQ(LobbyStoreResult::None, Next(st, a, ++n).result) << "no room to move";
  LobbyStoreTell(st, who, 22, code);
  for (int i = 0; i < 2000 && b.told.empty(); ++i) {
    LobbyStorePoll(st, now);
    LobbyStorePoll(other, now);
    if (other.kind == LobbyStoreKind::Redis) LobbyRedisWait(other, -1, 1);
  }
  ASSERT_EQ(1u, b.told.size()) << "process 22 told";
  EXPECT_EQ(code, b.told[0]);
  EXPECT_TRUE(a.told.empty()) << "and process 11 not";
  LobbyStoreEnd(st, who, code);
  LobbyStoreLookUp(st, who, code, 0, unknown, all, 60000, 0);
  EXPECT_EQ(LobbyStoreResult::None, Next(st, a, ++n).result) << "an ended room's keys are gone";
  LobbyStoreRegister(st, who, RoomOf(code + 2), 300, rate + 1, 60000, 0);
  Next(st, a, ++n);
  now += 400;
  LobbyStoreClock(st, now);
#if !defined(_WIN32)
  if (st.kind == LobbyStoreKind::Redis) usleep(400000);  // Redis's own clock: the key's life must pass
#endif
  LobbyStoreLookUp(st, who, code + 2, 0, unknown, all, 60000, 0);
  EXPECT_EQ(LobbyStoreResult::None, Next(st, a, ++n).result) << "a room's key expires by itself";
}

LobbyMemoryEntry entries[LOBBY_MEMORY_ENTRIES];

TEST(LobbyStoreTest, TheMemoryAndRedisStoresAnswerTheSameRowsAlike) {
  LobbyStore memory;
  LobbyMemoryStore(memory, entries);
  LobbyStoreClock(memory, now);
  Answers a, b;
  const int32_t who = LobbyStoreAttach(memory, 11, Done, Told, &a);
  LobbyStoreAttach(memory, 22, Done, Told, &b);
  StoreRows(memory, who, memory, a, b, "memory");
#if defined(_WIN32)
  GTEST_SKIP() << "no Redis store in this build";
#else
  char error[200];
  LobbyStore probe;
  const bool built = LobbyRedisStore(probe, "redis://127.0.0.1:1", error, sizeof error);
  LobbyRedisClose(probe);
  if (!built || std::system("command -v redis-server >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no redis-server, or no Redis store in this build: the Memory rows alone";
  // A port the system hands out, given back for redis-server.
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof sa;
  bind(sock, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  getsockname(sock, reinterpret_cast<sockaddr*>(&sa), &len);
  const std::string port = std::to_string(ntohs(sa.sin_port));
  close(sock);
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("redis-server", "redis-server", "--port", port.c_str(), "--bind", "127.0.0.1", "--save", "",
           "--appendonly", "no", "--loglevel", "warning", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  const std::string url = "redis://127.0.0.1:" + port;
  LobbyStore one, two;
  ASSERT_TRUE(LobbyRedisStore(one, url.c_str(), error, sizeof error)) << error;
  ASSERT_TRUE(LobbyRedisStore(two, url.c_str(), error, sizeof error)) << error;
  Answers ra, rb;
  LobbyStoreAttach(one, 11, Done, Told, &ra);
  LobbyStoreAttach(two, 22, Done, Told, &rb);
  for (int i = 0; i < 300 && !(LobbyStoreUp(one) && LobbyStoreUp(two)); ++i) {
    now += 10;  // connected again every 500 ms until redis-server listens
    LobbyStorePoll(one, now);
    LobbyStorePoll(two, now);
    usleep(10000);
  }
  EXPECT_TRUE(LobbyStoreUp(one) && LobbyStoreUp(two)) << "redis-server on port " << port;
  StoreRows(one, 0, two, ra, rb, "redis");
  // Redis stopped: every call answers Unavailable at once.
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  for (int i = 0; i < 300 && LobbyStoreUp(one); ++i) {
    now += 10;
    LobbyStorePoll(one, now);
    usleep(10000);
  }
  const size_t before = ra.got.size();
  LobbyStoreLookUp(one, 0, 1, 0, 2, 3, 60000, 0);
  EXPECT_EQ(LobbyStoreResult::Unavailable, Next(one, ra, before + 1).result);
  EXPECT_NE(std::string(""), LobbyRedisNews(one)) << "said, for the log";
  LobbyRedisClose(one);
  LobbyRedisClose(two);
  EXPECT_FALSE(LobbyRedisStore(one, "http://127.0.0.1", error, sizeof error));
  LobbyRedisClose(one);
  ASSERT_TRUE(LobbyRedisStore(one, "redis://:secret@[::1]:7000/3", error, sizeof error)) << error;
  LobbyRedisClose(one);
#endif
}

// ---- Two lobby processes over one store ----------------------------------------

struct Out {
  int by;  // the service that sent it: 0 A, 1 B
  NetAddress to;
  LobbyDatagram d;
  std::vector<uint8_t> bytes;
};
std::vector<Out> outs;
int sender[2] = {0, 1};

bool Catch(void* context, const NetAddress& to, const uint8_t* data, size_t size) {
  Out o{*static_cast<int*>(context), to, {}, std::vector<uint8_t>(data, data + size)};
  if (IsLobbyDatagram(data, size)) ReadLobbyDatagram(o.bytes.data(), size, o.d);
  outs.push_back(o);
  return true;
}

LobbyService processB;

// d from `from` to the service; what it sent back, in order.
std::vector<Out> Send(LobbyService& s, const NetAddress& from, const LobbyDatagram& d) {
  uint8_t bytes[LOBBY_MAX_RELAYED];
  const size_t n = WriteLobbyDatagram(d, bytes, sizeof bytes);
  outs.clear();
  LobbyReceive(s, from, bytes, n, now);
  return outs;
}

LobbyDatagram Ask(LobbyKind kind, uint64_t cookie, uint64_t code, uint64_t ticket) {
  LobbyDatagram d{};
  d.kind = kind;
  d.cookie = cookie;
  d.code = code;
  d.ticket = ticket;
  d.privates[0] = Ipv4Address(0x0A000005, 41414);
  return d;
}

TEST(LobbyStoreTest, TwoProcessesOverOneStoreActAsOneLobby) {
  LobbyStore store;
  LobbyMemoryStore(store, entries);
  now = 5000;
  LobbyStoreClock(store, now);
  LobbyService& a = lobbyService;
  LobbyService& b = processB;
  const uint64_t secretA[LOBBY_SECRET_WORDS] = {1, 2, 3, 4, 5, 6}, secretB[LOBBY_SECRET_WORDS] = {7, 8, 9, 10, 11, 12};
  LobbyBegin(a, 64, secretA, Catch, &sender[0], nullptr, nullptr);
  LobbyBegin(b, 64, secretB, Catch, &sender[1], nullptr, nullptr);
  const NetAddress publicA[LOBBY_FAMILIES] = {{}, Ipv4Address(0xCB007150, 41415)};
  const NetAddress publicB[LOBBY_FAMILIES] = {{}, Ipv4Address(0xCB007151, 41415)};
  LobbyUseStore(a, store, 11, publicA);
  LobbyUseStore(b, store, 22, publicB);
  const NetAddress host = Ipv4Address(0xC0000201, 5000), joiner = Ipv4Address(0xC6336402, 6000);
  EXPECT_EQ(LobbyCookie(a, host, now), LobbyCookie(b, host, now)) << "one cookie key for all processes";

  std::vector<Out> r = Send(a, host, Ask(LobbyKind::Register, LobbyCookie(a, host, now), 0, 41));
  ASSERT_EQ(1u, r.size());
  ASSERT_EQ(LobbyKind::CodeGiven, r[0].d.kind);
  EXPECT_EQ(LOBBY_SHARED_REFRESH_S, r[0].d.refreshS) << "hosts refresh often: a process gone is noticed soon";
  const uint64_t code = r[0].d.code, token = r[0].d.token;

  // The Join at B: the joiner is told A is the relay; A tells its host.
  r = Send(b, joiner, Ask(LobbyKind::Join, LobbyCookie(b, joiner, now), code, 42));
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(LobbyKind::Peers, r[0].d.kind);
  EXPECT_EQ(token, r[0].d.token);
  EXPECT_TRUE(SameAddress(publicA[1], r[0].d.relay)) << "the host's process relays";
  EXPECT_TRUE(SameAddress(host, r[0].d.publics[0]));
  outs.clear();
  LobbyStorePoll(store, now);
  ASSERT_EQ(1u, outs.size()) << "A heard of the Join through the store";
  EXPECT_EQ(0, outs[0].by);
  EXPECT_TRUE(SameAddress(host, outs[0].to));
  EXPECT_EQ(LobbyKind::Peers, outs[0].d.kind);
  EXPECT_TRUE(SameAddress(joiner, outs[0].d.publics[0]));
  EXPECT_EQ(41u, outs[0].d.ticket);
  EXPECT_EQ(1u, a.counts.told);

  // A host and its friend at one process: both told, the friend by its own ticket.
  const NetAddress host3 = Ipv4Address(0xC0000401, 5000), joiner3 = Ipv4Address(0xC6336502, 6000);
  r = Send(a, host3, Ask(LobbyKind::Register, LobbyCookie(a, host3, now), 0, 61));
  ASSERT_EQ(1u, r.size());
  r = Send(a, joiner3, Ask(LobbyKind::Join, LobbyCookie(a, joiner3, now), r[0].d.code, 62));
  ASSERT_EQ(2u, r.size());
  EXPECT_TRUE(SameAddress(host3, r[0].to));
  EXPECT_EQ(61u, r[0].d.ticket);
  EXPECT_TRUE(SameAddress(joiner3, r[1].to));
  EXPECT_EQ(62u, r[1].d.ticket);
  EXPECT_EQ(0, r[1].d.relay.port) << "the relay is the process that answered";

  // A second joiner at A is refused: one joiner, whichever process.
  const NetAddress other = Ipv4Address(0xCB007103, 7000);
  r = Send(a, other, Ask(LobbyKind::Join, LobbyCookie(a, other, now), code, 43));
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(LobbyError::UnknownCode, r[0].d.reason);

  // The joiner's NAT gives A another port: its refresh by ticket moves the relay there.
  const NetAddress joinerAtA = Ipv4Address(0xC6336402, 6001);
  uint8_t game[8] = {'B', 'T', 'n', 'w', 1, 2, 3, 4};
  LobbyDatagram relayed{};
  relayed.kind = LobbyKind::Relayed;
  relayed.token = token;
  relayed.payload = game;
  relayed.payloadSize = sizeof game;
  EXPECT_TRUE(Send(a, joinerAtA, relayed).empty()) << "a stranger's address relays nothing";
  LobbyDatagram refresh = Ask(LobbyKind::Refresh, 0, code, 99);
  refresh.privates[0] = NetAddress{};
  r = Send(a, joinerAtA, refresh);
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(LobbyError::UnknownCode, r[0].d.reason) << "a wrong ticket's refresh";
  EXPECT_TRUE(Send(a, joinerAtA, relayed).empty()) << "moves nothing";
  refresh.ticket = 42;
  Send(a, joinerAtA, refresh);
  r = Send(a, joinerAtA, relayed);
  ASSERT_EQ(1u, r.size()) << "relayed to the host";
  EXPECT_TRUE(SameAddress(host, r[0].to));
  r = Send(a, host, relayed);
  ASSERT_EQ(1u, r.size());
  EXPECT_TRUE(SameAddress(joinerAtA, r[0].to)) << "and back to the joiner where A sees it";

  // A second host re-attaches at B by its ticket (its process gone) and keeps its code.
  const NetAddress host2 = Ipv4Address(0xC0000301, 5000), host2AtB = Ipv4Address(0xC0000301, 5001);
  r = Send(a, host2, Ask(LobbyKind::Register, LobbyCookie(a, host2, now), 0, 51));
  ASSERT_EQ(1u, r.size());
  const uint64_t code2 = r[0].d.code;
  LobbyDatagram again = Ask(LobbyKind::Refresh, 0, code2, 52);
  again.privates[0] = NetAddress{};
  r = Send(b, host2AtB, again);
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(LobbyError::UnknownCode, r[0].d.reason) << "not with another's ticket";
  again.ticket = 51;
  r = Send(b, host2AtB, again);
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(LobbyKind::CodeGiven, r[0].d.kind);
  EXPECT_EQ(code2, r[0].d.code) << "the same code";
  EXPECT_EQ(1u, b.counts.reattached);
  r = Send(a, joiner, Ask(LobbyKind::Join, LobbyCookie(a, joiner, now), code2, 53));
  ASSERT_EQ(1u, r.size());
  EXPECT_TRUE(SameAddress(publicB[1], r[0].d.relay)) << "B holds the room now";
  outs.clear();
  LobbyStorePoll(store, now);
  ASSERT_EQ(1u, outs.size());
  EXPECT_EQ(1, outs[0].by) << "B tells the host it now holds";
  EXPECT_TRUE(SameAddress(host2AtB, outs[0].to));
  // The store itself holds no ticket: only its keyed hash.
  for (const LobbyMemoryEntry& e : entries) {
    if (e.key == 0) continue;
    for (const uint64_t ticket : {41ull, 42ull, 51ull, 53ull}) {
      EXPECT_NE(ticket, e.room.hostTicketHash);
      EXPECT_NE(ticket, e.room.joinerTicketHash);
    }
  }
}

// The limits count in the store: a network's registrations and look-ups at
// two processes add up, so more processes do not give an attacker more; and
// a store that does not answer has every request told "unavailable" at once.
TEST(LobbyStoreTest, LimitsHoldAcrossProcessesAndAStoreDownAnswersUnavailable) {
  LobbyStore store;
  LobbyMemoryStore(store, entries);
  now = 9000;
  LobbyStoreClock(store, now);
  LobbyService& a = lobbyService;
  LobbyService& b = processB;
  const uint64_t secretA[LOBBY_SECRET_WORDS] = {1, 2, 3, 4, 5, 6}, secretB[LOBBY_SECRET_WORDS] = {7, 8, 9, 10, 11, 12};
  LobbyBegin(a, 256, secretA, Catch, &sender[0], nullptr, nullptr);
  LobbyBegin(b, 256, secretB, Catch, &sender[1], nullptr, nullptr);
  const NetAddress none[LOBBY_FAMILIES] = {};
  LobbyUseStore(a, store, 11, none);
  LobbyUseStore(b, store, 22, none);
  uint32_t given = 0, limited = 0;
  for (uint32_t i = 0; i < 2 * LOBBY_REGISTRATIONS_PER_WINDOW; ++i) {
    LobbyService& at = i % 2 == 0 ? a : b;
    const NetAddress from = Ipv4Address(0xC6336400 + i, 5000);  // one /24
    const std::vector<Out> r = Send(at, from, Ask(LobbyKind::Register, LobbyCookie(at, from, now), 0, 100 + i));
    ASSERT_EQ(1u, r.size());
    given += r[0].d.kind == LobbyKind::CodeGiven;
    limited += r[0].d.kind == LobbyKind::Error && r[0].d.reason == LobbyError::RateLimited;
  }
  EXPECT_EQ(LOBBY_REGISTRATIONS_PER_WINDOW, given) << "the network's limit over both processes together";
  EXPECT_EQ(LOBBY_REGISTRATIONS_PER_WINDOW, limited);
  uint32_t unknown = 0;
  for (uint32_t i = 0; i < 2 * LOBBY_UNKNOWN_PER_WINDOW; ++i) {
    LobbyService& at = i % 2 == 0 ? a : b;
    const NetAddress from = Ipv4Address(0xCB007100 + i, 7000);
    const std::vector<Out> r = Send(at, from, Ask(LobbyKind::Join, LobbyCookie(at, from, now), 1000 + i, 300 + i));
    ASSERT_EQ(1u, r.size());
    unknown += r[0].d.reason == LobbyError::UnknownCode;
  }
  EXPECT_EQ(LOBBY_UNKNOWN_PER_WINDOW, unknown) << "unknown codes guessed at either process count alike";
  // A network holds no more than its share of a process's rooms.
  LobbyBegin(b, 16, secretB, Catch, &sender[1], nullptr, nullptr);
  LobbyUseStore(b, store, 22, none);
  given = 0;
  for (uint32_t i = 0; i < 6; ++i) {
    const NetAddress from = Ipv4Address(0xC6336500 + i, 5000);
    const std::vector<Out> r = Send(b, from, Ask(LobbyKind::Register, LobbyCookie(b, from, now), 0, 500 + i));
    given += r.size() == 1 && r[0].d.kind == LobbyKind::CodeGiven;
  }
  EXPECT_EQ(16 / LOBBY_NETWORK_SHARE, given);

#if !defined(_WIN32)
  LobbyStore down;
  char error[200];
  if (!LobbyRedisStore(down, "redis://127.0.0.1:1", error, sizeof error)) {
    LobbyRedisClose(down);
    GTEST_SKIP() << error;
  }
  LobbyService& c = processB;
  LobbyBegin(c, 16, secretB, Catch, &sender[1], nullptr, nullptr);
  LobbyUseStore(c, down, 33, none);
  LobbyStorePoll(down, now);
  const NetAddress host = Ipv4Address(0xC0000201, 5000);
  std::vector<Out> r = Send(c, host, Ask(LobbyKind::Register, LobbyCookie(c, host, now), 0, 41));
  ASSERT_EQ(1u, r.size()) << "answered at once, not left to time out";
  EXPECT_EQ(LobbyError::Unavailable, r[0].d.reason);
  EXPECT_EQ(41u, r[0].d.ticket);
  r = Send(c, host, Ask(LobbyKind::Join, LobbyCookie(c, host, now), 77, 42));
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(LobbyError::Unavailable, r[0].d.reason);
  EXPECT_EQ(2u, c.counts.unavailable);
  LobbyRedisClose(down);
#endif
}

}  // namespace
