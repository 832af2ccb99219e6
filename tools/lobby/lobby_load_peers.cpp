// blocktide-lobby-load: the sockets of the hosts, joiners and direct pairs,
// their cookie round trips with the lobby, and the figures' helpers.
#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/lobby/lobby_load.h"

Load load;

uint64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

uint64_t CpuNs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

sockaddr_in ToSockaddr(const NetAddress& a) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(Ipv4Of(a));
  sa.sin_port = htons(a.port);
  return sa;
}

// The lobby's VmRSS in KiB, or 0 when it cannot be read.
uint64_t LobbyResidentKiB() {
  if (load.pid == 0) return 0;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%u/status", load.pid);
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return 0;
  char line[256];
  uint64_t kib = 0;
  while (std::fgets(line, sizeof line, f) != nullptr)
    if (std::strncmp(line, "VmRSS:", 6) == 0) kib = std::strtoull(line + 6, nullptr, 10);
  std::fclose(f);
  return kib;
}

// The lobby's CPU time in ns (schedstat's first field), or 0.
uint64_t LobbyCpuNs() {
  if (load.pid == 0) return 0;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%u/schedstat", load.pid);
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return 0;
  unsigned long long ns = 0;
  if (std::fscanf(f, "%llu", &ns) != 1) ns = 0;
  std::fclose(f);
  return ns;
}

// A non-blocking UDP socket bound to `at`, watched by the epoll set under
// `tag`; false with the reason printed.
bool OpenPeer(Peer& p, const NetAddress& at, uint32_t tag) {
  p = Peer{};
  p.address = at;
  p.fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const sockaddr_in sa = ToSockaddr(at);
  char text[NET_ADDRESS_TEXT];
  FormatAddress(at, true, text, sizeof text);
  if (p.fd < 0 || bind(p.fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    std::fprintf(stderr, "blocktide-lobby-load: cannot use %s: %s\n", text, std::strerror(errno));
    return false;
  }
  epoll_event e{};
  e.events = EPOLLIN;
  e.data.u32 = tag;
  if (epoll_ctl(load.epoll, EPOLL_CTL_ADD, p.fd, &e) != 0) {
    std::fprintf(stderr, "blocktide-lobby-load: epoll: %s\n", std::strerror(errno));
    return false;
  }
  return true;
}


Peer& PeerOf(uint32_t tag) {
  if (tag >= DIRECT_TAG) return load.direct[tag - DIRECT_TAG];
  if (tag >= JOINER_TAG) return load.joiners[tag - JOINER_TAG];
  return load.hosts[tag];
}

void Send(const Peer& from, const NetAddress& to, const uint8_t* data, size_t size) {
  const sockaddr_in sa = ToSockaddr(to);
  if (sendto(from.fd, data, size, 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) !=
      static_cast<ssize_t>(size))
    ++load.sendFaults;
}

// Register (hosts) or Join (joiners), with the cookie or without.
void Ask(Peer& p, bool joining, uint64_t cookie) {
  LobbyDatagram d{};
  d.kind = joining ? LobbyKind::Join : LobbyKind::Register;
  d.cookie = cookie;
  d.code = p.code;
  d.ticket = p.ticket;
  d.privates[0] = p.address;
  uint8_t out[LOBBY_MAX_DATAGRAM];
  const size_t n = WriteLobbyDatagram(d, out, sizeof out);
  Send(p, load.lobby, out, n);
  p.askedNs = NowNs();
}

void Percentiles(std::vector<uint32_t>& v, double& median, double& p99) {
  median = p99 = 0;
  if (v.empty()) return;
  std::sort(v.begin(), v.end());
  median = v[v.size() / 2] / 1000.0;
  p99 = v[v.size() * 99 / 100] / 1000.0;
}

// Every peer's cookie round trip, HANDSHAKE_WINDOW at a time: Register until
// CodeGiven, or Join until Peers. Returns the peers done; round trips in rtt.
uint32_t Handshakes(std::vector<Peer>& peers, uint32_t tagBase, bool joining, std::vector<uint32_t>& rtt,
                    uint32_t& refused) {
  const LobbyKind awaited = joining ? LobbyKind::Peers : LobbyKind::CodeGiven;
  std::vector<uint32_t> flight;
  uint32_t next = 0, done = 0;
  refused = 0;
  const uint64_t startNs = NowNs();
  epoll_event events[256];
  uint8_t buffer[1501];
  while (done + refused < peers.size() && NowNs() - startNs < PHASE_LIMIT_NS) {
    while (flight.size() < HANDSHAKE_WINDOW && next < peers.size()) {
      Peer& p = peers[next];
      p.stage = 1;
      Ask(p, joining, 0);
      p.startedNs = p.askedNs;
      flight.push_back(next++);
    }
    const int n = epoll_wait(load.epoll, events, 256, 1);
    for (int e = 0; e < n; ++e) {
      const uint32_t tag = events[e].data.u32;
      Peer& p = PeerOf(tag);
      ssize_t got;
      while ((got = recv(p.fd, buffer, sizeof buffer, 0)) >= 0) {
        LobbyDatagram d;
        // Hosts hear Peers when their room is joined: not theirs to answer here.
        if (tag < tagBase || tag - tagBase >= peers.size() ||
            ReadLobbyDatagram(buffer, static_cast<size_t>(got), d) != LobbyReadResult::Ok || d.ticket != p.ticket)
          continue;
        if (d.kind == LobbyKind::Challenge && p.stage == 1) {
          p.stage = 2;
          Ask(p, joining, d.cookie);
        } else if (d.kind == awaited && p.stage == 2) {
          p.stage = 3;
          if (!joining) p.code = d.code;
          p.token = d.token;
          rtt.push_back(static_cast<uint32_t>(NowNs() - p.startedNs));
          ++done;
        } else if (d.kind == LobbyKind::Error && p.stage != 3) {
          p.stage = 4;
          ++refused;
        }
      }
    }
    const uint64_t nowNs = NowNs();
    for (size_t i = 0; i < flight.size();) {
      Peer& p = peers[flight[i]];
      if (p.stage >= 3) {
        flight[i] = flight.back();
        flight.pop_back();
        continue;
      }
      if (nowNs - p.askedNs > RESEND_NS) {  // lost: from the start, the cookie may have been the loss
        p.stage = 1;
        Ask(p, joining, 0);
      }
      ++i;
    }
  }
  return done;
}

// The i-th address from the block: 127.(BLOCK + i / 256).(i % 256).1, each
// in a /24 of its own.
NetAddress LoopbackAt(uint32_t block, uint32_t i, uint16_t port) {
  return Ipv4Address(0x7F000000u | (block + i / 256) << 16 | (i % 256) << 8 | 1, port);
}

// Every peer's ticket from the system's random source; false when it fails.
bool DrawTickets(std::vector<Peer>& peers) {
  std::vector<uint64_t> words(peers.size());
  uint8_t* bytes = reinterpret_cast<uint8_t*>(words.data());
  for (size_t done = 0, want = words.size() * sizeof(uint64_t); done < want;) {
    const ssize_t n = getrandom(bytes + done, want - done, 0);
    if (n <= 0 && errno != EINTR) {
      std::fprintf(stderr, "blocktide-lobby-load: getrandom: %s\n", std::strerror(errno));
      return false;
    }
    if (n > 0) done += static_cast<size_t>(n);
  }
  for (size_t i = 0; i < peers.size(); ++i) peers[i].ticket = words[i] != 0 ? words[i] : 1;
  return true;
}

void PrintHandshakes(const char* what, uint32_t done, uint32_t asked, uint32_t refused, uint64_t ns,
                     std::vector<uint32_t>& rtt) {
  double median, p99;
  Percentiles(rtt, median, p99);
  std::printf("%s: %u of %u in %.3f s: %.0f a second (%u refused); the cookie round trip (two round trips) "
              "median %.1f us, 99th percentile %.1f us\n",
              what, done, asked, static_cast<double>(ns) / 1e9, done / (static_cast<double>(ns) / 1e9), refused,
              median, p99);
}
