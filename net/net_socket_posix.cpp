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

using SockHandle = int;
using SockLength = socklen_t;
#include "net/net_sockaddr.h"

namespace {

int OpenBound(int family, uint16_t port) {
  const int fd = socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int off = 0;
  sockaddr_storage sa{};
  socklen_t length = 0;
  ToSockaddr(family == AF_INET ? Ipv4Address(0, port) : NetAddress{{}, 0, port}, family == AF_INET, sa, length);
  const bool dual = family == AF_INET || setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) == 0;
  if (dual && bind(fd, reinterpret_cast<const sockaddr*>(&sa), length) == 0) return fd;
  const int fault = errno;
  close(fd);
  errno = fault;
  return -1;
}

}  // namespace

bool BeginSockets(char*, size_t) { return true; }
void EndSockets() {}

NetSocket OpenUdpSocket(uint16_t port, char* error, size_t errorSize) {
  int fd = OpenBound(AF_INET6, port);
  if (fd < 0) fd = OpenBound(AF_INET, port);  // no IPv6 here: IPv4 alone
  if (fd < 0) {
    std::snprintf(error, errorSize, "%s", std::strerror(errno));
    return NET_NO_SOCKET;
  }
  return fd;
}

void CloseUdpSocket(NetSocket s) { close(static_cast<int>(s)); }

bool LocalAddressToward(NetSocket s, const NetAddress& to, NetAddress& out) {
  sockaddr_storage own{};
  socklen_t length = sizeof own;
  if (getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&own), &length) != 0) return false;
  // A connected datagram socket of the peer's family sends nothing: it only
  // asks for the route.
  const bool ipv4 = IsIpv4(to);
  const int family = ipv4 ? AF_INET : AF_INET6;
  const int probe = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  sockaddr_storage sa;
  socklen_t toLength = 0;
  sockaddr_storage local{};
  length = sizeof local;
  const bool ok = ToSockaddr(to, ipv4, sa, toLength) &&
                  connect(probe, reinterpret_cast<const sockaddr*>(&sa), toLength) == 0 &&
                  getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0;
  close(probe);
  if (!ok) return false;
  out = FromSockaddr(local);
  out.port = FromSockaddr(own).port;
  return true;
}

bool SendDatagram(NetSocket s, const NetAddress& to, const uint8_t* data, size_t size) {
  const int fd = static_cast<int>(s);
  sockaddr_storage sa;
  socklen_t length = 0;
  if (!ToSockaddr(to, IsIpv4Socket(fd), sa, length)) return false;
  const ssize_t n = sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(&sa), length);
  return n == static_cast<ssize_t>(size);
}

int32_t ReceiveDatagram(NetSocket s, uint8_t* buffer, size_t capacity, NetAddress& from, uint32_t* faults) {
  for (;;) {
    sockaddr_storage sa{};
    socklen_t length = sizeof sa;
    const ssize_t n = recvfrom(static_cast<int>(s), buffer, capacity, 0, reinterpret_cast<sockaddr*>(&sa), &length);
    if (n >= 0) {
      from = FromSockaddr(sa);
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

int32_t LookUpHostName(const char* name, NetAddress* found, int32_t max, char* error, size_t errorSize) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  const int code = getaddrinfo(name, nullptr, &hints, &list);
  if (code != 0) {
    std::snprintf(error, errorSize, "%s: %s", name, gai_strerror(code));
    return 0;
  }
  int32_t count = 0;
  for (const addrinfo* i = list; i != nullptr && count < max; i = i->ai_next) {
    sockaddr_storage sa{};
    if (i->ai_addrlen > sizeof sa || (i->ai_family != AF_INET && i->ai_family != AF_INET6)) continue;
    std::memcpy(&sa, i->ai_addr, i->ai_addrlen);
    const NetAddress a = FromSockaddr(sa);
    bool seen = false;
    for (int32_t k = 0; k < count; ++k) seen = seen || SameAddress(found[k], a);
    if (!seen) found[count++] = a;
  }
  freeaddrinfo(list);
  if (count == 0) std::snprintf(error, errorSize, "%s names no IPv6 or IPv4 address", name);
  return count;
}

bool SecureRandom(void* out, size_t size) {
  uint8_t* p = static_cast<uint8_t*>(out);
  while (size > 0) {
    // Blocks only until the generator is first seeded, early in a boot.
    const ssize_t n = getrandom(p, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

uint32_t MonotonicMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint32_t>(static_cast<uint64_t>(t.tv_sec) * 1000u + static_cast<uint64_t>(t.tv_nsec) / 1000000u);
}
