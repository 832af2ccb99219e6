// blocktide-lobby-attack: the floods from many addresses (registrations,
// look-ups, joined rooms held) and the command line.
#include "tools/lobby/lobby_attack.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/parse_number.h"

Attack attack;

namespace {

const char USAGE[] =
    "usage: blocktide-lobby-attack MODE --port LOBBY_PORT [options]\n"
    "The stranger against a blocktide-lobby on 127.0.0.1:LOBBY_PORT, from forged\n"
    "sources on 127/8 through a raw socket (root; inside a test's namespace).\n"
    "Modes, each printing its figures as \"key: value\" lines:\n"
    "  register  each of --addresses N (300) over --networks K /24s (300; the\n"
    "            --first-network F (0) counted from 127.200.0.0/24) tries\n"
    "            --attempts R (40) registrations, each from a port of its own\n"
    "  lookup    N addresses over K /24s ask for random codes at --rate (10000)\n"
    "            a second for --seconds S (5)\n"
    "  hold      as register, twice, each room given joined from the same\n"
    "            address and kept alive for S seconds\n"
    "  stranger  for S seconds at --rate (2000), against the players on\n"
    "            127.0.0.1 ports --ports FIRST-LAST and the room --code CODE:\n"
    "            probes and probe answers with guessed tokens, the lobby's\n"
    "            replies and game Joins forged, Refreshes as the host; with\n"
    "            --join-after T, Joins by the code at the lobby from T s on\n"
    "  relay     --bytes B (80000) a second for S seconds at the lobby: Relayed\n"
    "            datagrams with guessed tokens and bare game datagrams, from the\n"
    "            players' own addresses and the stranger's\n"
    "  stall     one game Join, the same one twice a second for S seconds, at a\n"
    "            host by address on 127.0.0.1, port FIRST of --ports\n";

constexpr uint16_t REGISTER_PORT = 20000, JOIN_PORT = 24000, LOOKUP_PORT = 28000;
constexpr uint32_t WINDOW = 256;               // handshakes in flight at once
constexpr uint64_t RESEND_NS = 300000000;      // an unanswered request goes again
constexpr uint8_t MOST_SENDS = 4;              // ... this often, then counts as unanswered
constexpr uint64_t PHASE_NS = 30000000000ull;  // a handshake phase is given up after this
constexpr uint64_t KEEP_ALIVE_NS = 2000000000; // a held room's datagram this often (10 s of silence ends it)

// One registration or join: from its own address and port, with its own ticket.
struct Try {
  uint32_t ip;
  uint16_t port;
  uint8_t stage;  // 0 not yet, 1 asked, 2 asked with the cookie, 3 given, 4 refused, 5 unanswered
  uint8_t sends;
  uint64_t ticket, code, token, askedNs;
  LobbyError reason;
};

// Every try's cookie round trip, WINDOW at a time, until all have an end.
// Hosts want CodeGiven, joiners Peers; the r-th try of each address is on
// port base + r.
void Handshakes(std::vector<Try>& tries, bool joining, uint16_t base) {
  const uint32_t per = attack.options.attempts;
  size_t next = 0, ended = 0;
  auto ask = [joining](Try& t, uint64_t cookie) {
    LobbyDatagram d{};
    d.kind = joining ? LobbyKind::Join : LobbyKind::Register;
    d.cookie = cookie;
    d.code = t.code;
    d.ticket = t.ticket;
    d.privates[0] = Ipv4Address(t.ip, t.port);
    SendLobby(t.ip, t.port, ATTACK_LOOPBACK, attack.options.lobbyPort, d);
    t.askedNs = NowNs();
    ++t.sends;
  };
  const uint64_t startNs = NowNs();
  uint64_t sweptNs = startNs;
  while (ended < tries.size() && NowNs() - startNs < PHASE_NS && attack.stop == 0) {
    for (; next < tries.size() && next - ended < WINDOW; ++next) {
      if (tries[next].stage >= 3) {  // nothing to join
        ++ended;
        continue;
      }
      tries[next].stage = 1;
      ask(tries[next], 0);
    }
    Seen s;
    for (int k = 0; k < 512 && Sniff(s, k == 0 ? 1 : 0); ++k) {
      const int64_t who = AttackerIndex(s.to);
      LobbyDatagram d;
      if (!FromLobby(s) || who < 0 || s.toPort < base || s.toPort >= base + per ||
          ReadLobbyDatagram(s.data, s.size, d) != LobbyReadResult::Ok)
        continue;
      Try& t = tries[static_cast<size_t>(s.toPort - base) * attack.options.addresses + static_cast<size_t>(who)];
      if (d.ticket != t.ticket || t.stage == 0 || t.stage >= 3) continue;
      if (d.kind == LobbyKind::Challenge) {
        t.stage = 2;
        ask(t, d.cookie);
      } else if (d.kind == (joining ? LobbyKind::Peers : LobbyKind::CodeGiven)) {
        t.stage = 3;
        t.token = d.token;
        if (!joining) t.code = d.code;
        ++ended;
      } else if (d.kind == LobbyKind::Error) {
        t.stage = 4;
        t.reason = d.reason;
        ++ended;
      }
    }
    const uint64_t nowNs = NowNs();
    if (nowNs - sweptNs < RESEND_NS / 4) continue;
    sweptNs = nowNs;
    for (size_t i = 0; i < next; ++i) {
      Try& t = tries[i];
      if (t.stage == 0 || t.stage >= 3 || nowNs - t.askedNs < RESEND_NS) continue;
      if (t.sends >= MOST_SENDS) {
        t.stage = 5;
        ++ended;
      } else {
        t.stage = 1;
        ask(t, 0);
      }
    }
  }
}

// Addresses times attempts tries, from REGISTER_PORT up on each address (a
// wave's own ports), the addresses taking turns: each comes back only after
// all the others, as a table that forgets its stalest entries would like it.
std::vector<Try> RegisterAll(uint32_t wave) {
  const AttackOptions& o = attack.options;
  std::vector<Try> tries(static_cast<size_t>(o.addresses) * o.attempts);
  for (uint32_t i = 0; i < o.addresses; ++i)
    for (uint32_t r = 0; r < o.attempts; ++r) {
      Try& t = tries[static_cast<size_t>(r) * o.addresses + i];
      t.ip = AttackerAddress(i);
      t.port = static_cast<uint16_t>(REGISTER_PORT + wave * o.attempts + r);
      t.ticket = Random64();
    }
  const uint64_t t0 = NowNs();
  Handshakes(tries, false, static_cast<uint16_t>(REGISTER_PORT + wave * o.attempts));
  const double seconds = static_cast<double>(NowNs() - t0) / 1e9;
  uint32_t given = 0, refused[6] = {}, unanswered = 0, mostAddress = 0, mostNetwork = 0;
  std::vector<uint32_t> byNetwork(o.networks);
  for (uint32_t i = 0; i < o.addresses; ++i) {
    uint32_t mine = 0;
    for (uint32_t r = 0; r < o.attempts; ++r) {
      const Try& t = tries[static_cast<size_t>(r) * o.addresses + i];
      if (t.stage == 3) ++mine;
      if (t.stage == 4) ++refused[static_cast<uint8_t>(t.reason) % 6];
      if (t.stage == 5) ++unanswered;
    }
    given += mine;
    byNetwork[i % o.networks] += mine;
    mostAddress = std::max(mostAddress, mine);
  }
  for (uint32_t n : byNetwork) mostNetwork = std::max(mostNetwork, n);
  Figure("attacking addresses", "%u in %u /24s, %u registrations tried each", o.addresses, o.networks, o.attempts);
  Figure("registrations granted", "%u in %.3f s", given, seconds);
  Figure("registrations granted per address", "%.2f", static_cast<double>(given) / o.addresses);
  Figure("most any address got", "%u", mostAddress);
  Figure("most any /24 got", "%u", mostNetwork);
  Figure("refused rate-limited", "%u", refused[static_cast<uint8_t>(LobbyError::RateLimited)]);
  Figure("refused full", "%u", refused[static_cast<uint8_t>(LobbyError::Full)]);
  Figure("refused otherwise", "%u", refused[1] + refused[2] + refused[5]);
  Figure("unanswered", "%u", unanswered);
  return tries;
}

int RunRegister() {
  RegisterAll(0);
  return 0;
}

// Two waves: each room given joined from its host's address (the second
// wave takes the rooms the first one's dropped or left), then all kept alive
// by one Relayed datagram from each host every 2 s, spread over the 2 s,
// counting those the lobby passed on in the last whole round.
int RunHold() {
  const AttackOptions& o = attack.options;
  std::vector<Try> hosts;
  uint32_t joinRefused = 0;
  const uint64_t t0 = NowNs();
  for (uint32_t wave = 0; wave < 2; ++wave) {
    const std::vector<Try> given = RegisterAll(wave);
    std::vector<Try> joiners(given.size());
    for (size_t k = 0; k < given.size(); ++k) {
      joiners[k].ip = given[k].ip;
      joiners[k].port = static_cast<uint16_t>(JOIN_PORT + (given[k].port - REGISTER_PORT));
      joiners[k].ticket = Random64();
      joiners[k].code = given[k].code;
      if (given[k].stage != 3) joiners[k].stage = 4;
    }
    Handshakes(joiners, true, static_cast<uint16_t>(JOIN_PORT + wave * o.attempts));
    for (size_t k = 0; k < joiners.size(); ++k) {
      if (joiners[k].stage == 3) hosts.push_back(given[k]);
      if (joiners[k].stage == 4 && given[k].stage == 3) ++joinRefused;
    }
  }
  std::vector<size_t> held(hosts.size());
  for (size_t k = 0; k < held.size(); ++k) held[k] = k;
  Figure("rooms joined", "%zu in %.3f s (%u joins refused)", held.size(), static_cast<double>(NowNs() - t0) / 1e9,
         joinRefused);
  uint8_t keep[1] = {'k'};
  LobbyDatagram d{};
  d.kind = LobbyKind::Relayed;
  d.payload = keep;
  d.payloadSize = sizeof keep;
  uint64_t keeps = 0, round = 0, passed = 0, lastPassed = 0, keepBytes = 0;
  const uint64_t startNs = NowNs(), holdNs = o.seconds * 1000000000ull;
  for (uint64_t nowNs = startNs; !held.empty() && nowNs - startNs < holdNs && attack.stop == 0; nowNs = NowNs()) {
    if ((nowNs - startNs) / KEEP_ALIVE_NS != round) {
      round = (nowNs - startNs) / KEEP_ALIVE_NS;
      lastPassed = passed;
      passed = 0;
    }
    for (const uint64_t due = (nowNs - startNs) * held.size() / KEEP_ALIVE_NS; keeps < due; ++keeps) {
      const Try& h = hosts[held[keeps % held.size()]];
      d.token = h.token;
      SendLobby(h.ip, h.port, ATTACK_LOOPBACK, o.lobbyPort, d);
      keepBytes += LOBBY_RELAY_HEADER + sizeof keep;
    }
    Seen s;
    while (Sniff(s, 5))
      if (FromLobby(s) && AttackerIndex(s.to) >= 0 && s.toPort >= JOIN_PORT && s.toPort < JOIN_PORT + 2 * o.attempts &&
          s.size == LOBBY_RELAY_HEADER + sizeof keep)
        ++passed;
  }
  Figure("rooms still joined at the end", "%llu", static_cast<unsigned long long>(lastPassed));
  Figure("keep-alive bytes a second", "%.0f",
         static_cast<double>(keepBytes) * 1e9 / static_cast<double>(std::max<uint64_t>(NowNs() - startNs, 1)));
  return 0;
}

// One address port each: the cookie first, then Joins with random codes as
// fast as the rate allows, the answers counted by kind.
int RunLookup() {
  const AttackOptions& o = attack.options;
  std::vector<Try> askers(o.addresses);
  for (uint32_t i = 0; i < o.addresses; ++i) {
    askers[i].ip = AttackerAddress(i);
    askers[i].port = LOOKUP_PORT;
    askers[i].ticket = Random64();
  }
  std::vector<uint64_t> cookies(o.addresses);
  uint64_t unknown = 0, limited = 0, found = 0, other = 0, sent = 0, unknownAtOne = 0;
  auto take = [&](const Seen& s, bool counting) {
    LobbyDatagram d;
    const int64_t who = AttackerIndex(s.to);
    if (!FromLobby(s) || who < 0 || s.toPort != LOOKUP_PORT ||
        ReadLobbyDatagram(s.data, s.size, d) != LobbyReadResult::Ok || d.ticket != askers[who].ticket)
      return;
    if (d.kind == LobbyKind::Challenge) cookies[who] = d.cookie;
    if (!counting || d.kind == LobbyKind::Challenge) return;
    if (d.kind == LobbyKind::Peers) ++found;
    else if (d.kind == LobbyKind::Error && d.reason == LobbyError::UnknownCode) ++unknown;
    else if (d.kind == LobbyKind::Error && d.reason == LobbyError::RateLimited) ++limited;
    else ++other;
  };
  auto join = [&](uint32_t i) {
    LobbyDatagram d{};
    d.kind = LobbyKind::Join;
    d.cookie = cookies[i];
    d.code = Random64() % LOBBY_CODE_COUNT;
    d.ticket = askers[i].ticket;
    d.privates[0] = Ipv4Address(askers[i].ip, askers[i].port);
    SendLobby(askers[i].ip, askers[i].port, ATTACK_LOOPBACK, o.lobbyPort, d);
    ++sent;
  };
  Seen s;
  for (uint32_t i = 0; i < o.addresses; ++i) join(i);  // no cookie yet: each gets its Challenge
  for (const uint64_t t0 = NowNs(); NowNs() - t0 < 500000000ull;)
    if (Sniff(s, 5)) take(s, false);
  sent = 0;
  const uint64_t startNs = NowNs(), floodNs = o.seconds * 1000000000ull;
  for (uint64_t nowNs = startNs; nowNs - startNs < floodNs && attack.stop == 0; nowNs = NowNs()) {
    const uint64_t due = (nowNs - startNs) * o.rate / 1000000000ull;
    if (nowNs - startNs < 1000000000ull) unknownAtOne = unknown;
    for (uint32_t k = 0; sent < due && k < 256; ++k) join(static_cast<uint32_t>(sent % o.addresses));
    for (int k = 0; k < 512 && Sniff(s, 0); ++k) take(s, true);
    if (sent >= due && Sniff(s, 1)) take(s, true);
  }
  for (const uint64_t t0 = NowNs(); NowNs() - t0 < 300000000ull;)
    if (Sniff(s, 5)) take(s, true);
  const double seconds = static_cast<double>(o.seconds);
  // After the first second: a budget that starts full answers more at first
  // than it can go on answering.
  const double perSecond =
      o.seconds > 1 ? static_cast<double>(unknown - unknownAtOne) / (seconds - 1) : static_cast<double>(unknown);
  Figure("attacking addresses", "%u in %u /24s", o.addresses, o.networks);
  Figure("look-ups sent a second", "%.0f", static_cast<double>(sent) / seconds);
  // Answered: the code looked up, found or not; a refusal says nothing of it.
  Figure("look-ups answered a second", "%.1f", static_cast<double>(unknown + found) / seconds);
  Figure("unknown-code answers a second", "%.1f after the first second (%.1f over all %llu s)", perSecond,
         static_cast<double>(unknown) / seconds, static_cast<unsigned long long>(o.seconds));
  Figure("rate-limited answers a second", "%.1f", static_cast<double>(limited) / seconds);
  Figure("codes found", "%llu (other answers %llu)", static_cast<unsigned long long>(found),
         static_cast<unsigned long long>(other));
  // Each unknown-code answer rules out one code: one of 1,024 live codes is
  // found after CODE_COUNT / 1,024 guesses on average.
  const double guessSeconds = static_cast<double>(LOBBY_CODE_COUNT) / 1024.0 / perSecond;
  if (unknown == 0) Figure("time to guess one of 1,024 codes", "never (no answer)");
  else Figure("time to guess one of 1,024 codes", "%.3g s (%.3g years)", guessSeconds, guessSeconds / 31557600.0);
  return 0;
}

bool ParsePorts(const char* text, AttackOptions& o) {
  unsigned first = 0, last = 0;
  char tail = 0;
  if (text == nullptr || std::sscanf(text, "%u-%u%c", &first, &last, &tail) != 2 || first == 0 || last < first ||
      last > 65535 || last - first > 1024)
    return false;
  o.firstPort = static_cast<uint16_t>(first);
  o.lastPort = static_cast<uint16_t>(last);
  return true;
}

int Usage(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "blocktide-lobby-attack: %s\n", message);
  std::fputs(USAGE, message != nullptr ? stderr : stdout);
  return message != nullptr ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  AttackOptions& o = attack.options;
  o = AttackOptions{AttackMode::None, 0, 300, 300, 0, 40, 5, 0, 80000, LOBBY_CODE_COUNT, 0, 0, 0};
  const char* const MODES[] = {"", "register", "lookup", "hold", "stranger", "relay", "stall"};
  if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) return Usage(nullptr);
  for (int m = 1; argc >= 2 && m < 7; ++m)
    if (std::strcmp(argv[1], MODES[m]) == 0) o.mode = static_cast<AttackMode>(m);
  if (o.mode == AttackMode::None) return Usage("a mode is needed first");
  uint64_t port = 0, addresses = o.addresses, networks = o.networks, first = 0, attempts = o.attempts;
  for (int i = 2; i < argc; i += 2) {  // every option takes a value
    const char* a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    const bool ok = (std::strcmp(a, "--port") == 0 && ParseNumber(value, 65535, port) && port != 0) ||
                    (std::strcmp(a, "--addresses") == 0 && ParseNumber(value, 50000, addresses) && addresses != 0) ||
                    (std::strcmp(a, "--networks") == 0 && ParseNumber(value, 10000, networks) && networks != 0) ||
                    (std::strcmp(a, "--first-network") == 0 && ParseNumber(value, 10000, first)) ||
                    (std::strcmp(a, "--attempts") == 0 && ParseNumber(value, 100, attempts) && attempts != 0) ||
                    (std::strcmp(a, "--seconds") == 0 && ParseNumber(value, 120, o.seconds) && o.seconds != 0) ||
                    (std::strcmp(a, "--rate") == 0 && ParseNumber(value, 200000, o.rate) && o.rate != 0) ||
                    (std::strcmp(a, "--bytes") == 0 && ParseNumber(value, 10000000, o.bytesPerSecond)) ||
                    (std::strcmp(a, "--code") == 0 && value != nullptr && ParseLobbyCode(value, o.code)) ||
                    (std::strcmp(a, "--join-after") == 0 && ParseNumber(value, 120, o.joinAfter)) ||
                    (std::strcmp(a, "--ports") == 0 && ParsePorts(value, o));
    if (!ok) {
      char message[96];
      std::snprintf(message, sizeof message, "bad option or value: %s", a);
      return Usage(message);
    }
  }
  if (port == 0) return Usage("--port is needed");
  if (networks > addresses || (addresses + networks - 1) / networks > 250 || first + networks > 50 * 256)
    return Usage("--networks must be at most --addresses, hold at most 250 addresses each and end in 127.249");
  if (o.mode >= AttackMode::Stranger && o.firstPort == 0)
    return Usage("--ports is needed");
  if (o.mode == AttackMode::Stranger && o.code == LOBBY_CODE_COUNT) return Usage("--code is needed");
  o.lobbyPort = static_cast<uint16_t>(port);
  o.addresses = static_cast<uint32_t>(addresses);
  o.networks = static_cast<uint32_t>(networks);
  o.firstNetwork = static_cast<uint32_t>(first);
  o.attempts = static_cast<uint32_t>(attempts);
  if (o.rate == 0) o.rate = o.mode == AttackMode::Stranger ? 2000 : 10000;
  if (!OpenAttack()) return 1;
  std::signal(SIGTERM, [](int) { attack.stop = 1; });
  std::signal(SIGINT, [](int) { attack.stop = 1; });
  int status = 0;
  switch (o.mode) {
    case AttackMode::Register: status = RunRegister(); break;
    case AttackMode::Lookup: status = RunLookup(); break;
    case AttackMode::Hold: status = RunHold(); break;
    case AttackMode::Stranger: status = RunStranger(); break;
    case AttackMode::RelayFlood: status = RunRelayFlood(); break;
    case AttackMode::Stall: status = RunStall(); break;
    case AttackMode::None: break;
  }
  Figure("datagrams sent", "%llu (%llu bytes, %llu refused by the system)",
         static_cast<unsigned long long>(attack.sent), static_cast<unsigned long long>(attack.sentBytes),
         static_cast<unsigned long long>(attack.sendFaults));
  CloseAttack();
  return status;
}
