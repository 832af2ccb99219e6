// blocktide-relay: a UDP forwarder on 127.0.0.1 that impairs what it passes
// (delay, jitter, loss, duplicates, reordering), for the network tests and
// benchmarks; and a junk sender that floods a port with bad datagrams.
// Native only, loopback only; it stops by itself.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
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

#include "engine/xorshift.h"
#include "tools/parse_number.h"

namespace {

const char USAGE[] =
    "usage: blocktide-relay --listen PORT --to PORT [--delay MS] [--jitter MS] [--loss PERCENT]\n"
    "                       [--duplicate PERCENT] [--reorder PERCENT] [--seed N] [--seconds S]\n"
    "       blocktide-relay --junk PORT [--count N] [--rate PER_SECOND] [--seed N]\n"
    "Relay: datagrams to 127.0.0.1:PORT (--listen; 0: one the system picks, printed\n"
    "as 'blocktide-relay: listening on port N') from the first other sender go\n"
    "to 127.0.0.1:PORT (--to), and the answers back, each way held DELAY ms plus\n"
    "or minus JITTER/2 ms (uniform), lost, repeated or held back 15 ms more (out\n"
    "of order) at the given percentages. It stops after S seconds (default 60)\n"
    "or 5 s without a datagram, and prints what it did.\n"
    "Junk: N (default 10000) datagrams of random bytes, some with this game's\n"
    "header, to 127.0.0.1:PORT at RATE a second (default 2000).\n";

constexpr size_t MAX_DATAGRAM = 1500;
constexpr uint32_t LOOPBACK = 0x7F000001;

Xorshift64 generator = {GOLDEN_GAMMA};

uint32_t Random(uint32_t n) { return generator.Below(n); }

// A chance in hundredths of a percent: "5" percent is 500 of 10000.
bool Chance(uint32_t hundredths) { return Random(10000) < hundredths; }

uint64_t NowUs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000u + static_cast<uint64_t>(t.tv_nsec) / 1000u;
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(LOOPBACK);
  sa.sin_port = htons(port);
  return sa;
}

struct Held {
  uint64_t dueUs;
  bool toHost;
  std::vector<uint8_t> bytes;
};

struct Direction {
  uint64_t passed, lost, repeated, reordered;
};

// Percentages with up to two decimals ("5", "0.5"), as hundredths.
bool ParsePercent(const char* text, uint64_t& hundredths) {
  if (text == nullptr) return false;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= 0 && v <= 100)) return false;
  hundredths = static_cast<uint64_t>(v * 100 + 0.5);
  return true;
}

int Relay(uint16_t listenPort, uint16_t hostPort, uint64_t delayMs, uint64_t jitterMs, uint64_t loss,
          uint64_t duplicate, uint64_t reorder, uint64_t seconds) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
  const sockaddr_in here = Loopback(listenPort);
  if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&here), sizeof here) != 0) {
    std::fprintf(stderr, "blocktide-relay: cannot use port %u: %s\n", listenPort, std::strerror(errno));
    return 2;
  }
  sockaddr_in bound{};
  socklen_t boundLength = sizeof bound;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength) == 0) {
    std::fprintf(stderr, "blocktide-relay: listening on port %u\n", static_cast<unsigned>(ntohs(bound.sin_port)));
    std::fflush(stderr);
  }
  const sockaddr_in host = Loopback(hostPort);
  sockaddr_in client{};
  bool clientKnown = false;
  std::vector<Held> held;
  Direction toHost{}, toClient{};
  const uint64_t beganUs = NowUs();
  uint64_t lastHeardUs = beganUs;
  uint8_t buffer[MAX_DATAGRAM];
  while (NowUs() - beganUs < seconds * 1000000u && NowUs() - lastHeardUs < 5000000u) {
    uint64_t waitUs = 20000;
    for (const Held& h : held) {
      const uint64_t now = NowUs();
      waitUs = std::min(waitUs, h.dueUs > now ? h.dueUs - now : 0);
    }
    pollfd p{fd, POLLIN, 0};
    timespec timeout{0, static_cast<long>(waitUs * 1000)};
    ppoll(&p, 1, &timeout, nullptr);
    for (;;) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) break;
      lastHeardUs = NowUs();
      const bool fromHost = from.sin_port == host.sin_port && from.sin_addr.s_addr == host.sin_addr.s_addr;
      if (!fromHost && !clientKnown) {
        client = from;
        clientKnown = true;
      }
      if (!fromHost && (from.sin_port != client.sin_port || from.sin_addr.s_addr != client.sin_addr.s_addr)) continue;
      if (fromHost && !clientKnown) continue;
      Direction& d = fromHost ? toClient : toHost;
      if (Chance(static_cast<uint32_t>(loss))) {
        d.lost += 1;
        continue;
      }
      uint64_t holdUs = delayMs * 1000;
      if (jitterMs != 0) holdUs = holdUs - jitterMs * 500 + Random(static_cast<uint32_t>(jitterMs * 1000 + 1));
      if (Chance(static_cast<uint32_t>(reorder))) {
        holdUs += 15000;
        d.reordered += 1;
      }
      Held h{lastHeardUs + holdUs, !fromHost, std::vector<uint8_t>(buffer, buffer + n)};
      held.push_back(h);
      if (Chance(static_cast<uint32_t>(duplicate))) {
        h.dueUs += 1000 + Random(3000);
        held.push_back(h);
        d.repeated += 1;
      }
    }
    const uint64_t now = NowUs();
    std::stable_sort(held.begin(), held.end(), [](const Held& a, const Held& b) { return a.dueUs < b.dueUs; });
    size_t sent = 0;
    while (sent < held.size() && held[sent].dueUs <= now) {
      const Held& h = held[sent++];
      const sockaddr_in& to = h.toHost ? host : client;
      sendto(fd, h.bytes.data(), h.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
      (h.toHost ? toHost : toClient).passed += 1;
    }
    held.erase(held.begin(), held.begin() + static_cast<long>(sent));
  }
  close(fd);
  for (int k = 0; k < 2; ++k) {
    const Direction& d = k == 0 ? toHost : toClient;
    std::fprintf(stderr, "blocktide-relay: to the %s: passed %llu, lost %llu, repeated %llu, held back %llu\n",
                 k == 0 ? "host" : "joiner", static_cast<unsigned long long>(d.passed),
                 static_cast<unsigned long long>(d.lost), static_cast<unsigned long long>(d.repeated),
                 static_cast<unsigned long long>(d.reordered));
  }
  return 0;
}

// Bad datagrams of three sorts: random bytes; this game's magic and format
// with random bytes after; and the magic with a random format and kind.
int Junk(uint16_t port, uint64_t count, uint64_t rate) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return 2;
  const sockaddr_in to = Loopback(port);
  uint8_t bytes[MAX_DATAGRAM];
  const uint64_t beganUs = NowUs();
  for (uint64_t i = 0; i < count; ++i) {
    const size_t n = Random(3) == 0 ? Random(600) : 8 + Random(400);
    for (size_t k = 0; k < n; ++k) bytes[k] = static_cast<uint8_t>(Random(256));
    if (i % 3 != 0 && n >= 8) {
      std::memcpy(bytes, "BTnw", 4);
      if (i % 3 == 1) {
        bytes[4] = 1;
        bytes[5] = 0;
        bytes[6] = static_cast<uint8_t>(1 + Random(5));
        bytes[7] = 0;
      }
    }
    sendto(fd, bytes, n, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    const uint64_t dueUs = beganUs + (i + 1) * 1000000u / rate;
    const uint64_t now = NowUs();
    if (dueUs > now) usleep(static_cast<useconds_t>(dueUs - now));
  }
  close(fd);
  std::fprintf(stderr, "blocktide-relay: sent %llu junk datagrams in %.1f s\n", static_cast<unsigned long long>(count),
               (NowUs() - beganUs) / 1e6);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t listen = UINT64_MAX, to = 0, junk = 0, delay = 0, jitter = 0, loss = 0, duplicate = 0, reorder = 0;
  uint64_t seed = 1, seconds = 60, count = 10000, rate = 2000;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = true;
    if (std::strcmp(arg, "--listen") == 0) {
      ok = ParseNumber(value, 65535, listen);
    } else if (std::strcmp(arg, "--to") == 0) {
      ok = ParseNumber(value, 65535, to);
    } else if (std::strcmp(arg, "--junk") == 0) {
      ok = ParseNumber(value, 65535, junk);
    } else if (std::strcmp(arg, "--delay") == 0) {
      ok = ParseNumber(value, 10000, delay);
    } else if (std::strcmp(arg, "--jitter") == 0) {
      ok = ParseNumber(value, 10000, jitter);
    } else if (std::strcmp(arg, "--loss") == 0) {
      ok = ParsePercent(value, loss);
    } else if (std::strcmp(arg, "--duplicate") == 0) {
      ok = ParsePercent(value, duplicate);
    } else if (std::strcmp(arg, "--reorder") == 0) {
      ok = ParsePercent(value, reorder);
    } else if (std::strcmp(arg, "--seed") == 0) {
      ok = ParseNumber(value, UINT64_MAX, seed);
    } else if (std::strcmp(arg, "--seconds") == 0) {
      ok = ParseNumber(value, 3600, seconds);
    } else if (std::strcmp(arg, "--count") == 0) {
      ok = ParseNumber(value, 10000000, count);
    } else if (std::strcmp(arg, "--rate") == 0) {
      ok = ParseNumber(value, 1000000, rate) && rate != 0;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "blocktide-relay: bad argument: %s\n%s", arg, USAGE);
      return 2;
    }
    ++i;
  }
  generator = SeededXorshift64(seed);
  if (junk != 0) return Junk(static_cast<uint16_t>(junk), count, rate);
  if (listen == UINT64_MAX || to == 0 || jitter > 2 * delay) {
    std::fprintf(stderr, "%s", USAGE);
    return 2;
  }
  return Relay(static_cast<uint16_t>(listen), static_cast<uint16_t>(to), delay, jitter, loss, duplicate, reorder,
               seconds);
}
