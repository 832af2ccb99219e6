// The socket layer on Windows: Winsock 2 (ws2_32, a system DLL).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <cstring>

#include "net/net_socket.h"

using SockHandle = SOCKET;
using SockLength = int;
#include "net/net_sockaddr.h"

namespace {

// An ICMP "port unreachable" for an earlier send makes the next recvfrom of
// a UDP socket fail with WSAECONNRESET unless this is switched off.
constexpr DWORD UDP_CONNRESET_CONTROL = IOC_IN | IOC_VENDOR | 12;

void ErrorText(int code, char* error, size_t errorSize) {
  char text[160] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(code), 0,
                 text, sizeof text, nullptr);
  // The system's text ends in CR LF.
  for (char* c = text; *c != '\0'; ++c) {
    if (*c == '\r' || *c == '\n') *c = '\0';
  }
  std::snprintf(error, errorSize, "%s (Winsock error %d)", text, code);
}

}  // namespace

bool BeginSockets(char* error, size_t errorSize) {
  WSADATA data;
  const int code = WSAStartup(MAKEWORD(2, 2), &data);
  if (code == 0) return true;
  ErrorText(code, error, errorSize);
  return false;
}

void EndSockets() { WSACleanup(); }

namespace {

SOCKET OpenBound(int family, uint16_t port) {
  const SOCKET s = socket(family, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return s;
  u_long nonBlocking = 1;
  DWORD off = 0;
  sockaddr_storage sa;
  int length = 0;
  ToSockaddr(family == AF_INET ? Ipv4Address(0, port) : NetAddress{{}, 0, port}, family == AF_INET, sa, length);
  const bool dual = family == AF_INET || setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off),
                                                    sizeof off) == 0;
  if (dual && ioctlsocket(s, FIONBIO, &nonBlocking) == 0 &&
      bind(s, reinterpret_cast<const sockaddr*>(&sa), length) == 0) {
    return s;
  }
  const int fault = WSAGetLastError();
  closesocket(s);
  WSASetLastError(fault);
  return INVALID_SOCKET;
}

}  // namespace

NetSocket OpenUdpSocket(uint16_t port, char* error, size_t errorSize) {
  SOCKET s = OpenBound(AF_INET6, port);
  if (s == INVALID_SOCKET) s = OpenBound(AF_INET, port);  // no IPv6 here: IPv4 alone
  if (s == INVALID_SOCKET) {
    ErrorText(WSAGetLastError(), error, errorSize);
    return NET_NO_SOCKET;
  }
  BOOL reportReset = FALSE;
  DWORD returned = 0;
  WSAIoctl(s, UDP_CONNRESET_CONTROL, &reportReset, sizeof reportReset, nullptr, 0, &returned, nullptr, nullptr);
  return static_cast<NetSocket>(s);
}

void CloseUdpSocket(NetSocket s) { closesocket(static_cast<SOCKET>(s)); }

bool LocalAddressToward(NetSocket s, const NetAddress& to, NetAddress& out) {
  sockaddr_storage own{};
  int length = sizeof own;
  if (getsockname(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&own), &length) != 0) return false;
  // A connected datagram socket of the peer's family sends nothing: it only
  // asks for the route.
  const bool ipv4 = IsIpv4(to);
  const int family = ipv4 ? AF_INET : AF_INET6;
  const SOCKET probe = socket(family, SOCK_DGRAM, IPPROTO_UDP);
  if (probe == INVALID_SOCKET) return false;
  sockaddr_storage sa;
  int toLength = 0;
  sockaddr_storage local{};
  length = sizeof local;
  const bool ok = ToSockaddr(to, ipv4, sa, toLength) &&
                  connect(probe, reinterpret_cast<const sockaddr*>(&sa), toLength) == 0 &&
                  getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0;
  closesocket(probe);
  if (!ok) return false;
  out = FromSockaddr(local);
  out.port = FromSockaddr(own).port;
  return true;
}

bool SendDatagram(NetSocket s, const NetAddress& to, const uint8_t* data, size_t size) {
  const SOCKET socket = static_cast<SOCKET>(s);
  sockaddr_storage sa;
  int length = 0;
  if (!ToSockaddr(to, IsIpv4Socket(socket), sa, length)) return false;
  const int n = sendto(socket, reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
                       reinterpret_cast<const sockaddr*>(&sa), length);
  return n == static_cast<int>(size);
}

int32_t ReceiveDatagram(NetSocket s, uint8_t* buffer, size_t capacity, NetAddress& from, uint32_t* faults) {
  for (;;) {
    sockaddr_storage sa{};
    int length = sizeof sa;
    const int n = recvfrom(static_cast<SOCKET>(s), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                           reinterpret_cast<sockaddr*>(&sa), &length);
    const int code = n == SOCKET_ERROR ? WSAGetLastError() : 0;
    if (n != SOCKET_ERROR || code == WSAEMSGSIZE) {
      // WSAEMSGSIZE: the datagram was cut to the buffer, which marks it too long.
      from = FromSockaddr(sa);
      return n == SOCKET_ERROR ? static_cast<int32_t>(capacity) : n;
    }
    if (code == WSAECONNRESET) continue;
    if (code != WSAEWOULDBLOCK && faults != nullptr) *faults += 1;
    return -1;
  }
}

void WaitForDatagram(NetSocket s, uint32_t timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(s), &readable);
  timeval t;
  t.tv_sec = static_cast<long>(timeoutMs / 1000);
  t.tv_usec = static_cast<long>(timeoutMs % 1000 * 1000);
  select(0, &readable, nullptr, nullptr, &t);
}

int32_t LookUpHostName(const char* name, NetAddress* found, int32_t max, char* error, size_t errorSize) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  const int code = getaddrinfo(name, nullptr, &hints, &list);
  if (code != 0) {
    char reason[200];
    ErrorText(code, reason, sizeof reason);  // getaddrinfo's codes are Winsock's
    std::snprintf(error, errorSize, "%s: %s", name, reason);
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
  // The system's preferred generator, no algorithm handle to open or close.
  return size <= 0xFFFFFFFFu && BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), static_cast<ULONG>(size),
                                                BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

uint32_t MonotonicMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<uint32_t>(static_cast<uint64_t>(counter.QuadPart) / (static_cast<uint64_t>(frequency.QuadPart) / 1000u));
}
