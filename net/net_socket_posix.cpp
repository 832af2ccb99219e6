// The socket layer on POSIX systems (the simulator, the native tests).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/net_socket.h"

namespace {

sockaddr_in ToSockaddr(const NetAddress& a) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(a.ip);
  sa.sin_port = htons(a.port);
  return sa;
}

}  // namespace

bool BeginSockets(char*, size_t) { return true; }
void EndSockets() {}

NetSocket OpenUdpSocket(uint16_t port, char* error, size_t errorSize) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::snprintf(error, errorSize, "%s", std::strerror(errno));
    return NET_NO_SOCKET;
  }
  const NetAddress any = {0, port};
  const sockaddr_in sa = ToSockaddr(any);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    std::snprintf(error, errorSize, "%s", std::strerror(errno));
    close(fd);
    return NET_NO_SOCKET;
  }
  return fd;
}

void CloseUdpSocket(NetSocket s) { close(static_cast<int>(s)); }

bool LocalAddressToward(NetSocket s, const NetAddress& to, NetAddress& out) {
  sockaddr_in own{};
  socklen_t length = sizeof own;
  if (getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&own), &length) != 0) return false;
  // A connected datagram socket sends nothing: it only asks for the route.
  const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const sockaddr_in sa = ToSockaddr(to);
  sockaddr_in local{};
  length = sizeof local;
  const bool ok = connect(probe, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 &&
                  getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0;
  close(probe);
  if (!ok) return false;
  out.ip = ntohl(local.sin_addr.s_addr);
  out.port = ntohs(own.sin_port);
  return true;
}

bool SendDatagram(NetSocket s, const NetAddress& to, const uint8_t* data, size_t size) {
  const sockaddr_in sa = ToSockaddr(to);
  const ssize_t n = sendto(static_cast<int>(s), data, size, 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return n == static_cast<ssize_t>(size);
}

int32_t ReceiveDatagram(NetSocket s, uint8_t* buffer, size_t capacity, NetAddress& from, uint32_t* faults) {
  for (;;) {
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    const ssize_t n = recvfrom(static_cast<int>(s), buffer, capacity, 0, reinterpret_cast<sockaddr*>(&sa), &length);
    if (n >= 0) {
      from.ip = ntohl(sa.sin_addr.s_addr);
      from.port = ntohs(sa.sin_port);
      return static_cast<int32_t>(n);
    }
    if (errno == EINTR) continue;
    // ECONNREFUSED and the like report an earlier send's ICMP error: the
    // socket is still good.
    if (errno != EAGAIN && errno != EWOULDBLOCK && faults != nullptr) *faults += 1;
    return -1;
  }
}

void WaitForDatagram(NetSocket s, uint32_t timeoutMs) {
  pollfd p{};
  p.fd = static_cast<int>(s);
  p.events = POLLIN;
  poll(&p, 1, static_cast<int>(timeoutMs));
}

bool LookUpHostName(const char* name, NetAddress& out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  out.ip = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
  freeaddrinfo(found);
  return true;
}

uint32_t SystemRandom32() {
  uint32_t v = 0;
  if (getrandom(&v, sizeof v, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof v)) return v;
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return static_cast<uint32_t>(t.tv_nsec) ^ static_cast<uint32_t>(t.tv_sec) * 2654435761u ^
         static_cast<uint32_t>(getpid()) << 16;
}

uint32_t MonotonicMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint32_t>(static_cast<uint64_t>(t.tv_sec) * 1000u + static_cast<uint64_t>(t.tv_nsec) / 1000000u);
}
