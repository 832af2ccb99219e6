// The socket layer on Windows: Winsock 2 (ws2_32, a system DLL).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>

#include "engine/xorshift.h"
#include "net/net_socket.h"

namespace {

// An ICMP "port unreachable" for an earlier send makes the next recvfrom of
// a UDP socket fail with WSAECONNRESET unless this is switched off.
constexpr DWORD UDP_CONNRESET_CONTROL = IOC_IN | IOC_VENDOR | 12;

sockaddr_in ToSockaddr(const NetAddress& a) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(a.ip);
  sa.sin_port = htons(a.port);
  return sa;
}

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

uint32_t Mix(uint64_t x) { return static_cast<uint32_t>(NextSplitMix64(x)); }

}  // namespace

bool BeginSockets(char* error, size_t errorSize) {
  WSADATA data;
  const int code = WSAStartup(MAKEWORD(2, 2), &data);
  if (code == 0) return true;
  ErrorText(code, error, errorSize);
  return false;
}

void EndSockets() { WSACleanup(); }

NetSocket OpenUdpSocket(uint16_t port, char* error, size_t errorSize) {
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    ErrorText(WSAGetLastError(), error, errorSize);
    return NET_NO_SOCKET;
  }
  u_long nonBlocking = 1;
  BOOL reportReset = FALSE;
  DWORD returned = 0;
  const NetAddress any = {0, port};
  const sockaddr_in sa = ToSockaddr(any);
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0 ||
      bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    ErrorText(WSAGetLastError(), error, errorSize);
    closesocket(s);
    return NET_NO_SOCKET;
  }
  WSAIoctl(s, UDP_CONNRESET_CONTROL, &reportReset, sizeof reportReset, nullptr, 0, &returned, nullptr, nullptr);
  return static_cast<NetSocket>(s);
}

void CloseUdpSocket(NetSocket s) { closesocket(static_cast<SOCKET>(s)); }

bool LocalAddressToward(NetSocket s, const NetAddress& to, NetAddress& out) {
  sockaddr_in own{};
  int length = sizeof own;
  if (getsockname(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&own), &length) != 0) return false;
  // A connected datagram socket sends nothing: it only asks for the route.
  const SOCKET probe = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (probe == INVALID_SOCKET) return false;
  const sockaddr_in sa = ToSockaddr(to);
  sockaddr_in local{};
  length = sizeof local;
  const bool ok = connect(probe, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 &&
                  getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length) == 0;
  closesocket(probe);
  if (!ok) return false;
  out.ip = ntohl(local.sin_addr.s_addr);
  out.port = ntohs(own.sin_port);
  return true;
}

bool SendDatagram(NetSocket s, const NetAddress& to, const uint8_t* data, size_t size) {
  const sockaddr_in sa = ToSockaddr(to);
  const int n = sendto(static_cast<SOCKET>(s), reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
                       reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return n == static_cast<int>(size);
}

int32_t ReceiveDatagram(NetSocket s, uint8_t* buffer, size_t capacity, NetAddress& from, uint32_t* faults) {
  for (;;) {
    sockaddr_in sa{};
    int length = sizeof sa;
    const int n = recvfrom(static_cast<SOCKET>(s), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                           reinterpret_cast<sockaddr*>(&sa), &length);
    const int code = n == SOCKET_ERROR ? WSAGetLastError() : 0;
    if (n != SOCKET_ERROR || code == WSAEMSGSIZE) {
      // WSAEMSGSIZE: the datagram was cut to the buffer, which marks it too long.
      from.ip = ntohl(sa.sin_addr.s_addr);
      from.port = ntohs(sa.sin_port);
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
  // Not a secret: the session number only tells this match's datagrams from
  // another's. The counter, the process and the time mixed are enough.
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return Mix(static_cast<uint64_t>(counter.QuadPart) ^ static_cast<uint64_t>(GetCurrentProcessId()) << 32 ^
             GetTickCount64() << 20);
}

uint32_t MonotonicMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<uint32_t>(static_cast<uint64_t>(counter.QuadPart) / (static_cast<uint64_t>(frequency.QuadPart) / 1000u));
}
