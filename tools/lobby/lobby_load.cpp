// blocktide-lobby-load: the lobby's load and latency figures, measured over
// real UDP sockets against a blocktide-lobby already running on 127.0.0.1.
// Native only (Linux: it binds many loopback addresses and reads /proc);
// it sends only to 127.0.0.1 and stops by itself.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "lobby/lobby_service.h"
#include "tools/lobby/lobby_load.h"
#include "tools/parse_number.h"

namespace {

const char USAGE[] =
    "usage: blocktide-lobby-load --port PORT [--pid PID] [--rooms N] [--relay LIST]\n"
    "                            [--rate PER_SECOND (1 to 250)] [--step-seconds S]\n"
    "Against a blocktide-lobby on 127.0.0.1:PORT (started with --rooms 4096):\n"
    "  1. N hosts (default 4000), each on a loopback address of its own network\n"
    "     (127.1.x.1 to 127.16.x.1: one a /24, so that the lobby's limits by\n"
    "     network never count two), do the cookie round trip and get a code:\n"
    "     rooms registered a second;\n"
    "  2. as many joiners (127.64.x.1 up, one a /24 too) as the largest count\n"
    "     in LIST join rooms spread over all N: joins a second;\n"
    "  3. for each count C in LIST (default 4,64,256,1024): C rooms relay for S\n"
    "     seconds (default 5), the host sending RATE (default 100) timestamped\n"
    "     game datagrams of 60 to 90 bytes a second in the room's Relayed\n"
    "     envelope and the joiner echoing each, so both ways carry RATE; 4 pairs of sockets on 127.0.0.1 do the same\n"
    "     directly, in the same run: relayed datagrams a second, the round trip\n"
    "     through the lobby against the direct one (median, 99th percentile).\n"
    "With --pid, the lobby's resident size (VmRSS) before and after filling\n"
    "rooms and its CPU in each step. Sockets on 127.0.0.1 use PORT+10 to PORT+17;\n"
    "the hosts and joiners use PORT+1 and PORT+2 on their own addresses. Tickets\n"
    "come from the system's random source (getrandom).\n";

// One ping: the unit (a room, or DIRECT_TAG + a pair), the time, filler to a
// size of 60 to 90 bytes; through the lobby in the Relayed envelope with the
// room's token.
void Ping(const Peer& from, const NetAddress& to, uint8_t kind, uint32_t unit, bool relayed) {
  uint8_t ping[MAX_DATAGRAM];
  const size_t size = MIN_DATAGRAM + load.random.Below(MAX_DATAGRAM - MIN_DATAGRAM + 1);
  std::memset(ping, 0x5a, size);
  ping[0] = 'p';
  ping[1] = kind;
  std::memcpy(ping + 2, &unit, 4);
  const uint64_t nowNs = NowNs();
  std::memcpy(ping + 6, &nowNs, 8);
  if (!relayed) {
    Send(from, to, ping, size);
    return;
  }
  LobbyDatagram d{};
  d.kind = LobbyKind::Relayed;
  d.token = from.token;
  d.payload = ping;
  d.payloadSize = size;
  uint8_t out[LOBBY_RELAY_HEADER + MAX_DATAGRAM];
  Send(from, to, out, WriteLobbyDatagram(d, out, sizeof out));
}

// Everything waiting on the sockets epoll reports: echoers send back, pingers
// take the round trip.
void Receive(int timeoutMs) {
  epoll_event events[256];
  uint8_t buffer[1501];
  const int n = epoll_wait(load.epoll, events, 256, timeoutMs);
  for (int e = 0; e < n; ++e) {
    const uint32_t tag = events[e].data.u32;
    const Peer& p = PeerOf(tag);
    const bool direct = tag >= DIRECT_TAG;
    const bool echoer = direct ? (tag - DIRECT_TAG) % 2 == 1 : tag >= JOINER_TAG;
    ssize_t got;
    while ((got = recv(p.fd, buffer, sizeof buffer, 0)) >= 0) {
      // Through the lobby a ping comes in its envelope, with the room's token;
      // a late Peers or CodeGiven is a lobby datagram too, but not Relayed.
      LobbyDatagram d;
      const uint8_t* ping = buffer;
      size_t size = static_cast<size_t>(got);
      if (!direct && IsLobbyDatagram(buffer, size)) {
        if (ReadLobbyDatagram(buffer, size, d) != LobbyReadResult::Ok || d.kind != LobbyKind::Relayed) continue;
        if (d.token != p.token) {
          ++load.strays;
          continue;
        }
        ping = d.payload;
        size = d.payloadSize;
      }
      if (size < MIN_DATAGRAM || ping[0] != 'p') {
        ++load.strays;
        continue;
      }
      uint64_t sentNs;
      std::memcpy(&sentNs, ping + 6, 8);
      if (load.stepOn && ping[1] == PING) ++load.figures.received[direct ? 1 : 0];
      if (echoer) {  // the envelope as it came: the same room's token
        Send(p, direct ? load.direct[tag - DIRECT_TAG - 1].address : load.lobby, buffer, static_cast<size_t>(got));
      } else if (load.stepOn && ping[1] == PING) {
        load.figures.rtt[direct ? 1 : 0].push_back(static_cast<uint32_t>(NowNs() - sentNs));
      }
    }
  }
}

// The first `count` joined rooms and the direct pairs ping for stepSeconds;
// the other joined rooms are kept alive.
void Step(uint32_t count) {
  Figures& f = load.figures;
  for (int k = 0; k < 2; ++k) {
    f.sent[k] = f.received[k] = 0;
    f.rtt[k].clear();
  }
  const uint32_t joined = static_cast<uint32_t>(load.joined.size());
  const uint32_t units = count + DIRECT_PAIRS;
  const uint64_t stepNs = load.stepSeconds * 1000000000ull;
  const uint64_t lobbyCpu0 = LobbyCpuNs(), cpu0 = CpuNs(), startNs = NowNs();
  uint64_t pings = 0, keeps = 0;
  load.stepOn = true;
  for (uint64_t nowNs = startNs; nowNs - startNs < stepNs; nowNs = NowNs()) {
    const uint64_t elapsed = nowNs - startNs;
    const uint64_t pingsDue = elapsed * units * load.rate / 1000000000ull;
    for (; pings < pingsDue; ++pings) {
      const uint32_t unit = static_cast<uint32_t>(pings % units);
      if (unit < count) {
        Ping(load.hosts[load.hostOf[load.joined[unit]]], load.lobby, PING, unit, true);
        ++f.sent[0];
      } else {
        const int pair = static_cast<int>(unit - count);
        Ping(load.direct[2 * pair], load.direct[2 * pair + 1].address, PING, DIRECT_TAG + pair, false);
        ++f.sent[1];
      }
    }
    const uint64_t keepsDue = elapsed * joined / KEEP_ALIVE_NS;
    for (; keeps < keepsDue; ++keeps) {
      const uint32_t room = static_cast<uint32_t>(keeps % joined);
      if (room >= count) Ping(load.hosts[load.hostOf[load.joined[room]]], load.lobby, KEEP, room, true);
    }
    Receive(pings < pingsDue ? 0 : 1);
  }
  const uint64_t lobbyCpu = LobbyCpuNs() - lobbyCpu0, cpu = CpuNs() - cpu0;
  // Echoes of the last pings are still on their way: they count, later pings
  // do not (none are sent).
  for (const uint64_t drainNs = NowNs(); NowNs() - drainNs < DRAIN_NS;) Receive(1);
  load.stepOn = false;

  double seconds = static_cast<double>(stepNs) / 1e9, relayMedian, relay99, directMedian, direct99;
  const size_t relaySamples = f.rtt[0].size(), directSamples = f.rtt[1].size();
  Percentiles(f.rtt[0], relayMedian, relay99);
  Percentiles(f.rtt[1], directMedian, direct99);
  std::printf("relay, %u rooms at %llu a second each way:\n", count, static_cast<unsigned long long>(load.rate));
  std::printf("  relayed datagrams a second: %.0f (offered %.0f; %llu of %llu pings and their echoes arrived)\n",
              static_cast<double>(f.received[0]) / seconds, 2.0 * static_cast<double>(f.sent[0]) / seconds,
              static_cast<unsigned long long>(relaySamples), static_cast<unsigned long long>(f.sent[0]));
  std::printf("  round trip through the lobby: median %.1f us, 99th percentile %.1f us (%zu samples)\n", relayMedian,
              relay99, relaySamples);
  std::printf("  direct round trip, same run:  median %.1f us, 99th percentile %.1f us (%zu samples)\n", directMedian,
              direct99, directSamples);
  std::printf("  added by the relay: median %.1f us, 99th percentile %.1f us\n", relayMedian - directMedian,
              relay99 - direct99);
  if (load.pid != 0)
    std::printf("  CPU: the lobby %.1f %% of a core, this tool %.1f %%\n",
                100.0 * static_cast<double>(lobbyCpu) / static_cast<double>(stepNs),
                100.0 * static_cast<double>(cpu) / static_cast<double>(stepNs));
  std::fflush(stdout);
}

bool ParseSteps(const char* text) {
  load.stepCount = 0;
  if (text == nullptr) return false;
  char copy[128];
  if (std::strlen(text) >= sizeof copy) return false;
  std::strcpy(copy, text);
  for (char* item = std::strtok(copy, ","); item != nullptr; item = std::strtok(nullptr, ",")) {
    uint64_t n;
    if (load.stepCount == sizeof load.steps / sizeof load.steps[0] || !ParseNumber(item, LOBBY_ROOM_SLOTS, n) ||
        n == 0)
      return false;
    load.steps[load.stepCount++] = static_cast<uint32_t>(n);
  }
  return load.stepCount != 0;
}

int Usage(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "blocktide-lobby-load: %s\n", message);
  std::fputs(USAGE, message != nullptr ? stderr : stdout);
  return message != nullptr ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t port = 0, pid = 0, rooms = 4000, rate = 100, stepSeconds = 5;
  ParseSteps("4,64,256,1024");
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(a, "--help") == 0) return Usage(nullptr);
    if ((std::strcmp(a, "--port") == 0 && ParseNumber(value, 65535 - 17, port) && port != 0) ||
        (std::strcmp(a, "--pid") == 0 && ParseNumber(value, 0x7FFFFFFF, pid)) ||
        (std::strcmp(a, "--rooms") == 0 && ParseNumber(value, LOBBY_ROOM_SLOTS, rooms) && rooms != 0) ||
        (std::strcmp(a, "--rate") == 0 && ParseNumber(value, MAX_RATE, rate) && rate != 0) ||
        (std::strcmp(a, "--step-seconds") == 0 && ParseNumber(value, 30, stepSeconds) && stepSeconds != 0) ||
        (std::strcmp(a, "--relay") == 0 && ParseSteps(value))) {
      ++i;
    } else {
      char message[96];
      std::snprintf(message, sizeof message, "bad option or value: %s", a);
      return Usage(message);
    }
  }
  if (port == 0) return Usage("--port is needed");
  uint32_t most = 0;
  for (uint32_t s = 0; s < load.stepCount; ++s) most = std::max(most, load.steps[s]);
  if (most > rooms) return Usage("a count in --relay is larger than --rooms");
  load.port = static_cast<uint16_t>(port);
  load.pid = static_cast<uint32_t>(pid);
  load.rooms = static_cast<uint32_t>(rooms);
  load.rate = rate;
  load.stepSeconds = stepSeconds;
  load.lobby = Ipv4Address(LOOPBACK, load.port);
  load.random = Xorshift64{GOLDEN_GAMMA};
  load.epoll = epoll_create1(EPOLL_CLOEXEC);
  if (load.epoll < 0) {
    std::fprintf(stderr, "blocktide-lobby-load: epoll: %s\n", std::strerror(errno));
    return 1;
  }
  std::printf("sizeof(LobbyRoom) %zu bytes; sizeof(LobbyService) %zu bytes (%u room slots)\n", sizeof(LobbyRoom),
              sizeof(LobbyService), LOBBY_ROOM_SLOTS);
  const uint64_t rss0 = LobbyResidentKiB();

  load.hosts.resize(load.rooms);
  for (uint32_t i = 0; i < load.rooms; ++i)
    if (!OpenPeer(load.hosts[i], LoopbackAt(1, i, static_cast<uint16_t>(port + 1)), i)) return 1;
  // Joiners for rooms spread over all the slots, so that the relay's search
  // through the rooms is as long as a full lobby's on average.
  load.joiners.resize(most);
  load.hostOf.resize(most);
  for (uint32_t j = 0; j < most; ++j) {
    if (!OpenPeer(load.joiners[j], LoopbackAt(64, j, static_cast<uint16_t>(port + 2)), JOINER_TAG + j)) return 1;
    load.hostOf[j] = static_cast<uint32_t>(static_cast<uint64_t>(j) * load.rooms / most);
  }
  for (int k = 0; k < 2 * DIRECT_PAIRS; ++k)
    if (!OpenPeer(load.direct[k], Ipv4Address(LOOPBACK, static_cast<uint16_t>(port + 10 + k)), DIRECT_TAG + k))
      return 1;

  if (!DrawTickets(load.hosts) || !DrawTickets(load.joiners)) return 1;
  std::vector<uint32_t> rtt;
  rtt.reserve(load.rooms);
  uint32_t refused;
  uint64_t t0 = NowNs();
  const uint32_t registered = Handshakes(load.hosts, 0, false, rtt, refused);
  PrintHandshakes("rooms registered", registered, load.rooms, refused, NowNs() - t0, rtt);
  const uint64_t rss1 = LobbyResidentKiB();

  for (uint32_t j = 0; j < most; ++j) load.joiners[j].code = load.hosts[load.hostOf[j]].code;
  rtt.clear();
  t0 = NowNs();
  const uint32_t joinedCount = Handshakes(load.joiners, JOINER_TAG, true, rtt, refused);
  PrintHandshakes("rooms joined", joinedCount, most, refused, NowNs() - t0, rtt);
  const uint64_t rss2 = LobbyResidentKiB();
  for (uint32_t j = 0; j < most; ++j)
    if (load.joiners[j].stage == 3 && load.hosts[load.hostOf[j]].stage == 3) load.joined.push_back(j);
  if (load.pid != 0)
    std::printf("lobby VmRSS: %llu KiB before, %llu KiB with %u rooms waiting, %llu KiB with %u of them joined\n",
                static_cast<unsigned long long>(rss0), static_cast<unsigned long long>(rss1), registered,
                static_cast<unsigned long long>(rss2), joinedCount);
  std::fflush(stdout);

  const size_t samples = (most + DIRECT_PAIRS) * load.rate * load.stepSeconds + 1024;
  load.figures.rtt[0].reserve(samples);
  load.figures.rtt[1].reserve(samples);
  for (uint32_t s = 0; s < load.stepCount; ++s) {
    if (load.steps[s] > load.joined.size()) {
      std::printf("relay, %u rooms: skipped, only %zu rooms joined\n", load.steps[s], load.joined.size());
      continue;
    }
    Step(load.steps[s]);
  }
  if (load.sendFaults != 0 || load.strays != 0)
    std::printf("sends refused: %llu; strange datagrams: %llu\n", static_cast<unsigned long long>(load.sendFaults),
                static_cast<unsigned long long>(load.strays));
  for (Peer& p : load.hosts) close(p.fd);
  for (Peer& p : load.joiners) close(p.fd);
  for (Peer& p : load.direct) close(p.fd);
  close(load.epoll);
  return registered == load.rooms && joinedCount == most ? 0 : 1;
}
