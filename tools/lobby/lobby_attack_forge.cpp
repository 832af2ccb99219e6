// blocktide-lobby-attack: the raw sockets, and the forgeries against a
// friend's room (its players' ports and its code known) and its relay.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "net/net_wire.h"
#include "tools/lobby/lobby_attack.h"

uint64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

uint64_t Random64() {
  const uint64_t v = static_cast<uint64_t>(attack.random.Below(0xFFFFFFFFu)) << 32 | attack.random.Below(0xFFFFFFFFu);
  return v != 0 ? v : 1;
}

bool OpenAttack() {
  uint64_t seed = 0;
  if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) {
    std::fprintf(stderr, "blocktide-lobby-attack: getrandom: %s\n", std::strerror(errno));
    return false;
  }
  attack.random = SeededXorshift64(seed);
  attack.out = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);  // IP_HDRINCL: the header is ours
  attack.in = socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (attack.out < 0 || attack.in < 0) {
    std::fprintf(stderr, "blocktide-lobby-attack: raw sockets (root is needed): %s\n", std::strerror(errno));
    return false;
  }
  const int size = 16 << 20;
  setsockopt(attack.in, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
  setsockopt(attack.out, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size);
  return true;
}

void CloseAttack() {
  close(attack.out);
  close(attack.in);
}

bool SendFrom(uint32_t fromIp, uint16_t fromPort, uint32_t toIp, uint16_t toPort, const uint8_t* data, size_t size) {
  if (toIp >> 24 != 127 || size > 1472) return false;  // loopback only
  uint8_t packet[1500];
  iphdr ip{};
  ip.version = 4;
  ip.ihl = 5;
  ip.ttl = 64;
  ip.protocol = IPPROTO_UDP;
  ip.tot_len = htons(static_cast<uint16_t>(sizeof ip + sizeof(udphdr) + size));
  ip.saddr = htonl(fromIp);
  ip.daddr = htonl(toIp);
  udphdr udp{};
  udp.source = htons(fromPort);
  udp.dest = htons(toPort);
  udp.len = htons(static_cast<uint16_t>(sizeof udp + size));  // checksum 0: none, as IPv4 allows
  std::memcpy(packet, &ip, sizeof ip);
  std::memcpy(packet + sizeof ip, &udp, sizeof udp);
  std::memcpy(packet + sizeof ip + sizeof udp, data, size);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = ip.daddr;
  const size_t total = sizeof ip + sizeof udp + size;
  if (sendto(attack.out, packet, total, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) !=
      static_cast<ssize_t>(total)) {
    ++attack.sendFaults;
    return false;
  }
  ++attack.sent;
  attack.sentBytes += size;
  return true;
}

bool SendLobby(uint32_t fromIp, uint16_t fromPort, uint32_t toIp, uint16_t toPort, const LobbyDatagram& d) {
  uint8_t out[LOBBY_MAX_RELAYED];
  const size_t n = WriteLobbyDatagram(d, out, sizeof out);
  return n != 0 && SendFrom(fromIp, fromPort, toIp, toPort, out, n);
}

bool Sniff(Seen& s, int timeoutMs) {
  for (;;) {
    ssize_t got = recv(attack.in, attack.buffer, sizeof attack.buffer, MSG_DONTWAIT);
    if (got < 0 && timeoutMs > 0 && errno == EAGAIN) {
      pollfd p = {attack.in, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) <= 0) return false;
      timeoutMs = 0;
      got = recv(attack.in, attack.buffer, sizeof attack.buffer, MSG_DONTWAIT);
    }
    if (got < 0) return false;
    const size_t header = static_cast<size_t>(attack.buffer[0] & 0x0F) * 4;
    if (static_cast<size_t>(got) < header + sizeof(udphdr) || attack.buffer[9] != IPPROTO_UDP) continue;
    iphdr ip;
    udphdr udp;
    std::memcpy(&ip, attack.buffer, sizeof ip);
    std::memcpy(&udp, attack.buffer + header, sizeof udp);
    const size_t length = ntohs(udp.len);
    if (length < sizeof udp || header + length > static_cast<size_t>(got)) continue;
    s = Seen{ntohl(ip.saddr), ntohl(ip.daddr), ntohs(udp.source), ntohs(udp.dest),
             attack.buffer + header + sizeof udp, length - sizeof udp};
    return true;
  }
}

bool FromLobby(const Seen& s) { return s.from == ATTACK_LOOPBACK && s.fromPort == attack.options.lobbyPort; }

uint32_t AttackerAddress(uint32_t i) {
  const uint32_t net = ATTACK_FIRST_NET * 256 + attack.options.firstNetwork + i % attack.options.networks;
  return 0x7F000000u | net << 8 | (i / attack.options.networks + 1);
}

int64_t AttackerIndex(uint32_t ip) {
  const uint32_t first = ATTACK_FIRST_NET * 256 + attack.options.firstNetwork;
  const uint32_t net = (ip >> 8 & 0xFFFF) - first, host = (ip & 0xFF) - 1;
  if (ip >> 24 != 127 || (ip >> 8 & 0xFFFF) < first || net >= attack.options.networks || (ip & 0xFF) == 0)
    return -1;
  const uint64_t i = static_cast<uint64_t>(host) * attack.options.networks + net;
  return i < attack.options.addresses ? static_cast<int64_t>(i) : -1;
}

void Figure(const char* key, const char* format, ...) {
  std::printf("%s: ", key);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
  std::fflush(stdout);
}

namespace {

enum Forgery : uint8_t {
  PROBE_NO_TOKEN, PROBE_GUESSED, ANSWER_FROM_STRANGER, ANSWER_AS_PEER, ERROR_AS_LOBBY, PEERS_AS_LOBBY,
  CODE_AS_LOBBY, CHALLENGE_AS_LOBBY, JOIN_AS_LOBBY, JOIN_FROM_STRANGER, RELAYED_JOIN_AS_LOBBY, RELAYED_BYE_AS_LOBBY,
  REFRESH_RANDOM_AS_HOST, REFRESH_CODE_AS_HOST, REFRESH_RANDOM_FROM_STRANGER, FORGERIES
};

const char* const FORGERY_NAMES[FORGERIES] = {
    "probes without the token", "probes with a guessed token", "probe answers from the stranger",
    "probe answers from the other player's address", "Errors from the lobby's address",
    "Peers from the lobby's address", "CodeGivens from the lobby's address", "Challenges from the lobby's address",
    "game Joins from the lobby's address", "game Joins from the stranger", "Relayed game Joins from the lobby's address",
    "Relayed game Byes from the lobby's address",
    "Refreshes with random codes from the host's address",
    "Refreshes with the code and a guessed ticket from the host's address",
    "Refreshes with random codes from the stranger"};

// A game Join of this version, or a Bye of a guessed session.
size_t Game(bool bye, uint8_t* out, size_t capacity) {
  NetDatagram g{};
  g.kind = bye ? NetKind::Bye : NetKind::Join;
  g.session = static_cast<uint32_t>(Random64());
  g.reason = NetReason::Left;
  g.format = NET_FORMAT;
  std::snprintf(g.version, sizeof g.version, "%s", BLOCKTIDE_VERSION_STRING);
  g.nonce = static_cast<uint32_t>(Random64());
  g.time = static_cast<uint32_t>(NowNs() / 1000000);
  return WriteDatagram(g, out, capacity);
}

// One forgery towards (or, for Refreshes, in the name of) the player at
// 127.0.0.1:port; `other` is another player port.
void Forge(Forgery f, uint16_t port, uint16_t other, uint64_t n) {
  const AttackOptions& o = attack.options;
  const uint16_t strangerPort = static_cast<uint16_t>(29000 + n % 1000);
  const uint16_t lobby = o.lobbyPort;
  LobbyDatagram d{};
  d.ticket = Random64();
  d.token = Random64();
  d.nonce = Random64();
  d.code = o.code;
  uint8_t out[LOBBY_MAX_RELAYED];
  switch (f) {
    case PROBE_NO_TOKEN:
    case PROBE_GUESSED: {
      d.kind = LobbyKind::Probe;
      d.role = 1;
      const size_t size = WriteLobbyDatagram(d, out, sizeof out);
      if (f == PROBE_NO_TOKEN) std::memset(out + 8, 0, 8);
      SendFrom(ATTACK_STRANGER, strangerPort, ATTACK_LOOPBACK, port, out, size);
      return;
    }
    case ANSWER_FROM_STRANGER:
    case ANSWER_AS_PEER:
      d.kind = LobbyKind::Probe;
      d.role = static_cast<uint8_t>(n & 1);
      d.answer = 1;
      if (f == ANSWER_FROM_STRANGER) SendLobby(ATTACK_STRANGER, strangerPort, ATTACK_LOOPBACK, port, d);
      else SendLobby(ATTACK_LOOPBACK, other, ATTACK_LOOPBACK, port, d);
      return;
    case ERROR_AS_LOBBY:
      d.kind = LobbyKind::Error;
      d.reason = static_cast<LobbyError>(1 + n % 5);
      if (n & 8) d.code = Random64() % LOBBY_CODE_COUNT;
      break;
    case PEERS_AS_LOBBY:
      d.kind = LobbyKind::Peers;
      d.role = static_cast<uint8_t>(n & 1);
      d.publics[0] = Ipv4Address(ATTACK_STRANGER, strangerPort);
      d.privates[0] = Ipv4Address(ATTACK_STRANGER, static_cast<uint16_t>(strangerPort + 1));
      break;
    case CODE_AS_LOBBY:
      d.kind = LobbyKind::CodeGiven;
      d.code = Random64() % LOBBY_CODE_COUNT;
      d.refreshS = 1;
      break;
    case CHALLENGE_AS_LOBBY:
      d.kind = LobbyKind::Challenge;
      d.cookie = Random64();
      break;
    case JOIN_AS_LOBBY:
    case JOIN_FROM_STRANGER: {
      const size_t size = Game(false, out, sizeof out);
      if (f == JOIN_AS_LOBBY) SendFrom(ATTACK_LOOPBACK, lobby, ATTACK_LOOPBACK, port, out, size);
      else SendFrom(ATTACK_STRANGER, strangerPort, ATTACK_LOOPBACK, port, out, size);
      return;
    }
    case RELAYED_JOIN_AS_LOBBY:
    case RELAYED_BYE_AS_LOBBY: {
      uint8_t game[NET_MAX_DATAGRAM];
      d.kind = LobbyKind::Relayed;
      d.payload = game;
      d.payloadSize = Game(f == RELAYED_BYE_AS_LOBBY, game, sizeof game);
      SendLobby(ATTACK_LOOPBACK, lobby, ATTACK_LOOPBACK, port, d);
      return;
    }
    case REFRESH_RANDOM_AS_HOST:
    case REFRESH_CODE_AS_HOST:
    case REFRESH_RANDOM_FROM_STRANGER:
      d.kind = LobbyKind::Refresh;
      if (f != REFRESH_CODE_AS_HOST) d.code = Random64() % LOBBY_CODE_COUNT;
      if (f == REFRESH_RANDOM_FROM_STRANGER) SendLobby(ATTACK_STRANGER, strangerPort, ATTACK_LOOPBACK, lobby, d);
      else SendLobby(ATTACK_LOOPBACK, port, ATTACK_LOOPBACK, lobby, d);
      return;
    case FORGERIES:
      return;
  }
  SendLobby(ATTACK_LOOPBACK, lobby, ATTACK_LOOPBACK, port, d);
}

bool PlayerPort(uint16_t port) { return port >= attack.options.firstPort && port <= attack.options.lastPort; }

}  // namespace

// Every forgery in turn at every player port, at the rate, for the time
// given; what the players send to the stranger is counted by kind. After
// --join-after seconds (the friend has joined) the stranger also asks the
// lobby for the room by its code, ten times a second.
int RunStranger() {
  const AttackOptions& o = attack.options;
  const uint32_t ports = static_cast<uint32_t>(o.lastPort - o.firstPort + 1);
  uint64_t forged[FORGERIES] = {}, sent = 0;
  uint64_t answers = 0, probes = 0, welcomes = 0, otherGame = 0, otherLobby = 0, lobbyReplies = 0;
  uint64_t joins = 0, peers = 0, refusals = 0;
  constexpr uint16_t JOINING = 28500;
  LobbyDatagram join{};
  join.kind = LobbyKind::Join;
  join.code = o.code;
  join.ticket = Random64();
  join.privates[0] = Ipv4Address(ATTACK_STRANGER, JOINING);
  const uint64_t startNs = NowNs(), runNs = o.seconds * 1000000000ull, joinNs = o.joinAfter * 1000000000ull;
  for (uint64_t nowNs = startNs; nowNs - startNs < runNs && attack.stop == 0; nowNs = NowNs()) {
    if (o.joinAfter != 0 && nowNs - startNs >= joinNs + joins * 100000000ull) {
      SendLobby(ATTACK_STRANGER, JOINING, ATTACK_LOOPBACK, o.lobbyPort, join);
      ++joins;
    }
    const uint64_t due = (nowNs - startNs) * o.rate / 1000000000ull;
    for (; sent < due; ++sent) {
      const Forgery f = static_cast<Forgery>(sent % FORGERIES);
      const uint32_t turn = static_cast<uint32_t>(sent / FORGERIES);
      const uint16_t port = static_cast<uint16_t>(o.firstPort + turn % ports);
      Forge(f, port, static_cast<uint16_t>(o.firstPort + (turn + 1) % ports), turn);
      ++forged[f];
    }
    Seen s;
    while (Sniff(s, 1)) {
      if (s.to != ATTACK_STRANGER) continue;
      LobbyDatagram d;
      if (FromLobby(s) && s.toPort == JOINING && ReadLobbyDatagram(s.data, s.size, d) == LobbyReadResult::Ok &&
          d.ticket == join.ticket) {
        if (d.kind == LobbyKind::Challenge) join.cookie = d.cookie;
        ++(d.kind == LobbyKind::Peers ? peers : d.kind == LobbyKind::Error ? refusals : lobbyReplies);
        continue;
      }
      if (FromLobby(s)) {
        ++lobbyReplies;
        continue;
      }
      if (s.from != ATTACK_LOOPBACK || !PlayerPort(s.fromPort)) continue;
      NetDatagram g;
      if (ReadLobbyDatagram(s.data, s.size, d) == LobbyReadResult::Ok && d.kind == LobbyKind::Probe) {
        ++(d.answer == 1 ? answers : probes);
      } else if (IsLobbyDatagram(s.data, s.size)) {
        ++otherLobby;
      } else if (ReadDatagram(s.data, s.size, g) == NetReadResult::Ok && g.kind == NetKind::Welcome) {
        ++welcomes;
      } else {
        ++otherGame;
      }
    }
  }
  const double seconds = static_cast<double>(NowNs() - startNs) / 1e9;
  for (int f = 0; f < FORGERIES; ++f) Figure(FORGERY_NAMES[f], "%llu", static_cast<unsigned long long>(forged[f]));
  Figure("forged datagrams a second", "%.0f", static_cast<double>(sent) / seconds);
  Figure("probe answers to the stranger", "%llu", static_cast<unsigned long long>(answers));
  Figure("probes to the stranger", "%llu", static_cast<unsigned long long>(probes));
  Figure("Welcomes to the stranger", "%llu", static_cast<unsigned long long>(welcomes));
  Figure("other datagrams from the players to the stranger", "%llu lobby-kind, %llu game-kind",
         static_cast<unsigned long long>(otherLobby), static_cast<unsigned long long>(otherGame));
  Figure("lobby replies to the stranger", "%llu", static_cast<unsigned long long>(lobbyReplies));
  Figure("the stranger's Joins by the code", "%llu: %llu Peers, %llu refusals", static_cast<unsigned long long>(joins),
         static_cast<unsigned long long>(peers), static_cast<unsigned long long>(refusals));
  return 0;
}

// The same game Join (one nonce) twice a second at a host by address, which
// greets it and waits for its Play; the Welcomes it sends are counted.
int RunStall() {
  const AttackOptions& o = attack.options;
  uint8_t join[NET_MAX_DATAGRAM];
  const size_t size = Game(false, join, sizeof join);
  uint64_t sent = 0, welcomes = 0;
  const uint64_t startNs = NowNs(), runNs = o.seconds * 1000000000ull;
  for (uint64_t nowNs = startNs; nowNs - startNs < runNs && attack.stop == 0; nowNs = NowNs()) {
    const bool due = nowNs - startNs >= sent * 500000000ull;
    if (due && SendFrom(ATTACK_STRANGER, 29500, ATTACK_LOOPBACK, o.firstPort, join, size)) ++sent;
    Seen s;
    NetDatagram g;
    while (Sniff(s, 5))
      welcomes += s.to == ATTACK_STRANGER && s.fromPort == o.firstPort &&
                  ReadDatagram(s.data, s.size, g) == NetReadResult::Ok && g.kind == NetKind::Welcome;
  }
  Figure("stalling Joins sent", "%llu, %llu Welcomes back", static_cast<unsigned long long>(sent),
         static_cast<unsigned long long>(welcomes));
  return 0;
}

// Datagrams of 100 to 200 bytes at the lobby, the bytes a second given:
// Relayed ones with guessed tokens and bare game ones, from each player's
// address in turn and the stranger's.
int RunRelayFlood() {
  const AttackOptions& o = attack.options;
  const uint32_t sources = static_cast<uint32_t>(o.lastPort - o.firstPort + 2);
  uint8_t game[200], out[LOBBY_MAX_RELAYED];
  const uint8_t head[8] = {'B', 'T', 'n', 'w', NET_FORMAT & 0xFF, NET_FORMAT >> 8, static_cast<uint8_t>(NetKind::Play),
                           0};
  uint64_t bytes = 0, count = 0, relayed = 0;
  const uint64_t startNs = NowNs(), runNs = o.seconds * 1000000000ull;
  for (uint64_t nowNs = startNs; nowNs - startNs < runNs && attack.stop == 0; nowNs = NowNs()) {
    const uint64_t due = (nowNs - startNs) * o.bytesPerSecond / 1000000000ull;
    while (bytes < due) {
      const size_t size = 100 + attack.random.Below(101);
      for (size_t i = 0; i < size; ++i) game[i] = static_cast<uint8_t>(attack.random.Below(256));
      std::memcpy(game, head, sizeof head);
      const uint32_t source = static_cast<uint32_t>(count % sources);
      const uint32_t ip = source + 1 == sources ? ATTACK_STRANGER : ATTACK_LOOPBACK;
      const uint16_t port = source + 1 == sources ? 29999 : static_cast<uint16_t>(o.firstPort + source);
      const uint8_t* data = game;
      size_t length = size;
      if (count / sources % 2 == 0) {
        LobbyDatagram d{};
        d.kind = LobbyKind::Relayed;
        d.token = Random64();
        d.payload = game;
        d.payloadSize = size - LOBBY_RELAY_HEADER;
        length = WriteLobbyDatagram(d, out, sizeof out);
        data = out;
        ++relayed;
      }
      SendFrom(ip, port, ATTACK_LOOPBACK, o.lobbyPort, data, length);
      bytes += length;
      ++count;
    }
    Seen s;
    while (Sniff(s, 1)) {
    }
  }
  const double seconds = static_cast<double>(NowNs() - startNs) / 1e9;
  Figure("flood bytes a second", "%.0f", static_cast<double>(bytes) / seconds);
  Figure("flood datagrams a second", "%.0f (%llu Relayed with guessed tokens, %llu bare)",
         static_cast<double>(count) / seconds, static_cast<unsigned long long>(relayed),
         static_cast<unsigned long long>(count - relayed));
  return 0;
}
