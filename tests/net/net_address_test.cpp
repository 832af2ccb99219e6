// Addresses as typed and as shown: both families' literals, brackets, ports
// and scopes read back to the same text, bad input is refused with a reason,
// and one socket hears both families, showing IPv4 peers as plain IPv4.
#include <gtest/gtest.h>

#include <string>

#include "net/net_socket.h"

namespace {

// 2001:db8::N, port 1.
NetAddress HostAddress6(uint8_t n) {
  NetAddress a{};
  a.bytes[0] = 0x20;
  a.bytes[1] = 0x01;
  a.bytes[2] = 0x0d;
  a.bytes[3] = 0xb8;
  a.bytes[15] = n;
  a.port = 1;
  return a;
}

// The text as typed, split, resolved (literals only: no look-up) and shown.
std::string Shown(const char* typed, bool* portGiven = nullptr) {
  char host[NET_HOST_TEXT] = "sentinel";
  char error[200] = "";
  uint16_t port = 9;
  bool given = false;
  if (!SplitHostAndPort(typed, host, port, given, error, sizeof error)) return std::string("refused: ") + error;
  if (portGiven != nullptr) *portGiven = given;
  NetAddress found[NET_HOST_ADDRESSES];
  if (ResolveHost(host, port, found, error, sizeof error) != 1) return std::string("not found: ") + error;
  char text[NET_ADDRESS_TEXT];
  FormatAddress(found[0], true, text, sizeof text);
  return text;
}

}  // namespace

TEST(NetAddress, LiteralsBracketsPortsAndScopesReadBackAsShown) {
  bool given = true;
  EXPECT_EQ("192.0.2.7:9", Shown("192.0.2.7", &given));
  EXPECT_FALSE(given) << "no port typed: the caller's stays";
  EXPECT_EQ("192.0.2.7:41414", Shown(" 192.0.2.7:41414\t", &given));
  EXPECT_TRUE(given);
  EXPECT_EQ("[2001:db8::7]:9", Shown("2001:db8::7"));
  EXPECT_EQ("[2001:db8::7]:41414", Shown("[2001:0DB8:0:0:0:0:0:7]:41414"));
  EXPECT_EQ("[fe80::1%2]:41414", Shown("[fe80::1%2]:41414"));
  EXPECT_EQ("[::1]:9", Shown("[::1]"));
  EXPECT_EQ("[::]:9", Shown("::"));
  EXPECT_EQ("[1::]:9", Shown("1::"));
  // The shortest form: the first of the longest zero runs, never one group.
  EXPECT_EQ("[2001:db8::1:0:0:1]:9", Shown("2001:db8:0:0:1:0:0:1"));
  EXPECT_EQ("[1:0:2:3:4:5:6:7]:9", Shown("1:0:2:3:4:5:6:7"));
  EXPECT_EQ("[1:0:0:2::3]:9", Shown("1:0:0:2:0:0:0:3"));
  EXPECT_EQ("[64:ff9b::c000:221]:9", Shown("64:ff9b::192.0.2.33"));
  // IPv4-mapped is IPv4: shown and compared as such.
  EXPECT_EQ("192.0.2.7:41414", Shown("[::ffff:192.0.2.7]:41414"));
  NetAddress found[NET_HOST_ADDRESSES];
  char error[200];
  ASSERT_EQ(1, ResolveHost("::ffff:c000:207", 5, found, error, sizeof error));
  EXPECT_TRUE(SameAddress(Ipv4Address(0xC0000207, 5), found[0]));
  EXPECT_EQ(0xC0000207u, Ipv4Of(found[0]));
  ASSERT_EQ(1, ResolveHost("fe80::1%3", 5, found, error, sizeof error));
  EXPECT_EQ(0u, Ipv4Of(found[0]));
  NetAddress otherScope = found[0];
  otherScope.scope = 4;
  EXPECT_FALSE(SameAddress(found[0], otherScope)) << "a link-local address is one per interface";
  char text[NET_ADDRESS_TEXT];
  FormatAddress(found[0], false, text, sizeof text);
  EXPECT_STREQ("fe80::1%3", text);
  NetAddress widest{};
  for (uint8_t& b : widest.bytes) b = 0xFF;
  widest.scope = 0xFFFFFFFFu;
  widest.port = 65535;
  FormatAddress(widest, true, text, sizeof text);
  EXPECT_STREQ("[ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff%4294967295]:65535", text) << "NET_ADDRESS_TEXT holds it";

  // A name is split but left to the look-up; localhost is this computer.
  char host[NET_HOST_TEXT];
  uint16_t port = 9;
  ASSERT_TRUE(SplitHostAndPort("localhost:41414", host, port, given, error, sizeof error)) << error;
  EXPECT_STREQ("localhost", host);
  EXPECT_EQ(41414, port);
  const int32_t count = ResolveHost(host, port, found, error, sizeof error);
  ASSERT_LE(1, count) << error;
  for (int32_t i = 0; i < count; ++i) {
    FormatAddress(found[i], true, text, sizeof text);
    EXPECT_TRUE(SameAddress(Ipv4Address(0x7F000001, 41414), found[i]) || std::string(text) == "[::1]:41414")
        << text;
  }
  // A name of several machines: the first of each family in front (IPv6
  // first), the rest after them in the system's order, to be tried in turn.
  NetAddress several[5] = {Ipv4Address(0xC6336401, 1), Ipv4Address(0xC6336402, 1), HostAddress6(1),
                           Ipv4Address(0xC6336403, 1), HostAddress6(2)};
  ASSERT_EQ(2, FirstOfEachFamily(several, 5));
  const NetAddress ordered[5] = {HostAddress6(1), Ipv4Address(0xC6336401, 1), Ipv4Address(0xC6336402, 1),
                                 Ipv4Address(0xC6336403, 1), HostAddress6(2)};
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(SameAddress(ordered[i], several[i])) << i;
  EXPECT_EQ(1, FirstOfEachFamily(several + 2, 2)) << "one family alone";
  if (count == 2) {
    EXPECT_FALSE(IsIpv4(found[0])) << "IPv6 first";
  }
}

TEST(NetAddress, BadInputIsRefusedWithAReasonAndTouchesNothing) {
  const std::string longName(NET_HOST_TEXT, 'a');
  const char* refused[] = {"", "  ", ":41414", "a:", "a:0", "a:65536", "a:-1", "a:4x", "[2001:db8::7",
                           "[2001:db8::7]x", "[2001:db8::7]:", "[]:41414", "[192.0.2.7]:41414",
                           "2001:db8::7:41414", "1::2::3", "1:::2", ":1::2", "1::2:", "1:2:3:4:5:6:7:8:9",
                           "1:2:3:4:5:6:7::8", "1:2:3:4:5:6:7", "12345::1", "g::1", "::1.2.3", "1.2.3.4::",
                           "::1%", "fe80::1%eth0", "fe80::1%99999999999", "::ffff:1.2.3.4%2", "fe80::1",
                           "192.0.2.300", "192.0.2", "1.2.3.4.5", "1..2.3", "0001.2.3.4", "exa mple", "name%1",
                           "a/b:41414", longName.c_str()};
  for (const char* typed : refused) {
    char host[NET_HOST_TEXT] = "sentinel";
    char error[200] = "";
    uint16_t port = 0xBDBD;
    bool given = false;
    EXPECT_FALSE(SplitHostAndPort(typed, host, port, given, error, sizeof error)) << typed;
    EXPECT_NE('\0', error[0]) << typed;
    EXPECT_STREQ("sentinel", host) << typed;
    EXPECT_EQ(0xBDBD, port) << typed;
  }
  char error[200];
  char host[NET_HOST_TEXT];
  uint16_t port = 0;
  bool given = false;
  SplitHostAndPort("fe80::1", host, port, given, error, sizeof error);
  EXPECT_STREQ("fe80::1 is a link-local address: add its interface's number, as in fe80::1%2", error);
  SplitHostAndPort("2001:db8::7:41414", host, port, given, error, sizeof error);
  EXPECT_STREQ("2001:db8::7:41414 is not an IPv6 address (with a port: [ADDRESS]:PORT)", error);
  NetAddress found[NET_HOST_ADDRESSES];
  EXPECT_EQ(0, ResolveHost("1:2", 5, found, error, sizeof error)) << "the resolver refuses what the splitter would";
  EXPECT_FALSE(SplitHostAndPort(nullptr, host, port, given, error, sizeof error));
}

TEST(NetSocket, OneSocketHearsBothFamiliesAndShowsIpv4Plainly) {
  char error[128];
  ASSERT_TRUE(BeginSockets(error, sizeof error)) << error;
  NetSocket host = NET_NO_SOCKET;
  uint16_t port = 0;
  for (uint16_t p = 42170; p < 42180 && host == NET_NO_SOCKET; ++p) {
    host = OpenUdpSocket(p, error, sizeof error);
    port = p;
  }
  ASSERT_NE(NET_NO_SOCKET, host) << error;
  const NetSocket joiner = OpenUdpSocket(0, error, sizeof error);
  ASSERT_NE(NET_NO_SOCKET, joiner) << error;
  const NetAddress loopback6 = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0, port};
  const NetAddress targets[] = {Ipv4Address(0x7F000001, port), loopback6};
  for (const NetAddress& to : targets) {
    const uint8_t hello[] = {1, 2, 3};
    const bool v6 = !IsIpv4(to);
    const bool sent = SendDatagram(joiner, to, hello, sizeof hello);
    if (v6 && !sent) continue;  // no IPv6 on this system: the IPv4 socket refuses it, as it should
    ASSERT_TRUE(sent);
    uint8_t buffer[8];
    NetAddress from{};
    int32_t n = -1;
    for (int wait = 0; wait < 100 && n < 0; ++wait) {
      WaitForDatagram(host, 10);
      n = ReceiveDatagram(host, buffer, sizeof buffer, from, nullptr);
    }
    ASSERT_EQ(3, n) << (v6 ? "IPv6" : "IPv4");
    char text[NET_ADDRESS_TEXT];
    FormatAddress(from, false, text, sizeof text);
    EXPECT_STREQ(v6 ? "::1" : "127.0.0.1", text) << "an IPv4 peer of a dual-stack socket is shown plainly";
    // The answer goes back to the address as read, and comes from the one
    // the joiner sent to.
    ASSERT_TRUE(SendDatagram(host, from, buffer, 3));
    NetAddress back{};
    n = -1;
    for (int wait = 0; wait < 100 && n < 0; ++wait) {
      WaitForDatagram(joiner, 10);
      n = ReceiveDatagram(joiner, buffer, sizeof buffer, back, nullptr);
    }
    ASSERT_EQ(3, n);
    EXPECT_TRUE(SameAddress(to, back)) << "the joiner matches its host's answers by address";
  }
  CloseUdpSocket(joiner);
  CloseUdpSocket(host);
}
