// The conversions between NetAddress and the system's socket addresses, one
// copy for POSIX and Winsock alike. Included only by net_socket_posix.cpp
// and net_socket_winsock.cpp, after their system headers and their
// `SockLength` (socklen_t, or Winsock's int) and `SockHandle` types.
#pragma once

#include <cstring>

#include "net/net_socket.h"

namespace {

// The socket's own family: an IPv4-only one (no IPv6 here) takes and gives
// sockaddr_in, a dual-stack one sockaddr_in6 with IPv4 peers mapped.
bool IsIpv4Socket(SockHandle s) {
  sockaddr_storage own{};
  SockLength length = sizeof own;
  return getsockname(s, reinterpret_cast<sockaddr*>(&own), &length) == 0 && own.ss_family == AF_INET;
}

// The system's form of `a` for a socket of the family given; false for an
// IPv6 address on an IPv4 socket.
bool ToSockaddr(const NetAddress& a, bool ipv4Socket, sockaddr_storage& sa, SockLength& length) {
  sa = sockaddr_storage{};
  if (ipv4Socket) {
    if (!IsIpv4(a)) return false;
    sockaddr_in& v4 = reinterpret_cast<sockaddr_in&>(sa);
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(Ipv4Of(a));
    v4.sin_port = htons(a.port);
    length = sizeof v4;
    return true;
  }
  sockaddr_in6& v6 = reinterpret_cast<sockaddr_in6&>(sa);
  v6.sin6_family = AF_INET6;
  std::memcpy(&v6.sin6_addr, a.bytes, sizeof a.bytes);
  v6.sin6_scope_id = a.scope;
  v6.sin6_port = htons(a.port);
  length = sizeof v6;
  return true;
}

NetAddress FromSockaddr(const sockaddr_storage& sa) {
  if (sa.ss_family == AF_INET) {
    const sockaddr_in& v4 = reinterpret_cast<const sockaddr_in&>(sa);
    return Ipv4Address(ntohl(v4.sin_addr.s_addr), ntohs(v4.sin_port));
  }
  const sockaddr_in6& v6 = reinterpret_cast<const sockaddr_in6&>(sa);
  NetAddress a{};
  std::memcpy(a.bytes, &v6.sin6_addr, sizeof a.bytes);
  a.scope = IsIpv4(a) ? 0 : static_cast<uint32_t>(v6.sin6_scope_id);
  a.port = ntohs(v6.sin6_port);
  return a;
}

}  // namespace
