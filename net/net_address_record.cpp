// NetAddress's own operations: an IPv4 address made and read (IPv4-mapped),
// none, the same. Below the socket layer and the address forms, which both
// use them.
#include <cstring>

#include "net/net_socket.h"

namespace {

// ::ffff:0:0/96, the IPv4-mapped prefix.
const uint8_t MAPPED[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

}  // namespace

NetAddress Ipv4Address(uint32_t ip, uint16_t port) {
  NetAddress a{};
  std::memcpy(a.bytes, MAPPED, sizeof MAPPED);
  for (int i = 0; i < 4; ++i) a.bytes[12 + i] = static_cast<uint8_t>(ip >> (24 - 8 * i));
  a.port = port;
  return a;
}

bool IsIpv4(const NetAddress& a) { return std::memcmp(a.bytes, MAPPED, sizeof MAPPED) == 0; }

uint32_t Ipv4Of(const NetAddress& a) {
  if (!IsIpv4(a)) return 0;
  return static_cast<uint32_t>(a.bytes[12]) << 24 | static_cast<uint32_t>(a.bytes[13]) << 16 |
         static_cast<uint32_t>(a.bytes[14]) << 8 | a.bytes[15];
}

bool IsUnspecified(const NetAddress& a) {
  const uint8_t zero[16] = {};
  return std::memcmp(a.bytes, zero, sizeof zero) == 0 || (IsIpv4(a) && Ipv4Of(a) == 0);
}

bool SameAddress(const NetAddress& a, const NetAddress& b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0 && a.scope == b.scope && a.port == b.port;
}

