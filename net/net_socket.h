// The thin socket layer under the network session: UDP, non-blocking, one
// socket for IPv6 and IPv4 where the system allows it (else IPv4 only).
// The same declarations have a POSIX implementation (net_socket_posix.cpp,
// the simulator and the native tests) and a Winsock one
// (net_socket_winsock.cpp, the Windows program); nothing else in net/ knows
// the platform.
#pragma once

#include <cstddef>
#include <cstdint>

// An IPv6 or IPv4 address and a port. Both families are kept as IPv6's 16
// bytes, an IPv4 address as IPv4-mapped (::ffff:192.0.2.7): a dual-stack
// socket reports IPv4 peers so, and one comparison then serves both.
// Ipv4Address makes an IPv4 one, Ipv4Of reads it back.
struct NetAddress {
  uint8_t bytes[16];  // network order
  uint32_t scope;     // a link-local IPv6 address's interface number; else 0
  uint16_t port;      // host order
};
static_assert(sizeof(NetAddress) == 24, "a small record, copied by value");

// The IPv4 address `ip` in host byte order (192.0.2.7 is 0xC0000207).
NetAddress Ipv4Address(uint32_t ip, uint16_t port);
// An IPv4 address (also one a dual-stack socket reported as IPv4-mapped).
bool IsIpv4(const NetAddress& a);
// The IPv4 number in host byte order; 0 for an IPv6 address.
uint32_t Ipv4Of(const NetAddress& a);
// No address: all zero bytes (as a record cleared), or IPv4's 0.0.0.0.
bool IsUnspecified(const NetAddress& a);
bool SameAddress(const NetAddress& a, const NetAddress& b);

// A socket handle: a file descriptor, or a Winsock SOCKET, widened.
typedef intptr_t NetSocket;
constexpr NetSocket NET_NO_SOCKET = -1;

// Longest address text FormatAddress writes,
// "[ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff%4294967295]:65535" and NUL.
constexpr size_t NET_ADDRESS_TEXT = 60;
// Longest host text SplitHostAndPort gives, NUL included.
constexpr size_t NET_HOST_TEXT = 256;

// Called once by the program before any other operation here (WSAStartup on
// Windows, nothing on POSIX). False with a message in `error` when sockets
// cannot be used.
bool BeginSockets(char* error, size_t errorSize);
// Called once by the program on every way out after BeginSockets succeeded.
void EndSockets();

// Called by NetHost (a port) and NetJoin (0: any free port): a UDP socket
// bound to every local address at `port`, non-blocking: IPv6 with IPv4
// beside it (one dual-stack socket), or IPv4 only where the system has no
// IPv6. NET_NO_SOCKET with a
// message in `error` when it cannot be made (the port in use, no network).
NetSocket OpenUdpSocket(uint16_t port, char* error, size_t errorSize);
// Called by the session when it ends (NetClose) or is given up.
void CloseUdpSocket(NetSocket s);

// Called by the invite client for the private address it reports: the
// local address the system would send to `to` from (its IP) and s's port.
// False when the system cannot say (out is then unchanged).
bool LocalAddressToward(NetSocket s, const NetAddress& to, NetAddress& out);

// Called by the session to send one datagram; false when the system refused
// it at once (a datagram lost on the way is not seen here; an IPv6 address
// on an IPv4-only socket is refused).
bool SendDatagram(NetSocket s, const NetAddress& to, const uint8_t* data, size_t size);

// Called by NetPoll until it answers -1: the next waiting datagram's length
// (bytes past `capacity` are cut off: give one byte more than the longest
// datagram wanted, and a datagram that fills the buffer is too long), or -1
// when none is waiting. A system fault also answers -1, after it is counted
// in *faults when faults is not null. Never blocks.
int32_t ReceiveDatagram(NetSocket s, uint8_t* buffer, size_t capacity, NetAddress& from, uint32_t* faults);

// The one receive loop of every reader of a socket (the session's NetPoll,
// the invite client, the lobby): what waits on s, at most `most` datagrams,
// each handed to `take` (net_read.cpp). A datagram that fills the buffer of
// NET_READ_BYTES is longer than any reader takes and is left out; a system
// fault ends the batch and is counted.
typedef void (*NetTake)(void* context, const NetAddress& from, const uint8_t* data, size_t size);
constexpr size_t NET_READ_BYTES = 512;
struct NetRead {
  int32_t read;     // datagrams handed over
  uint32_t faults;  // system faults met (at most one: it ends the batch)
  uint32_t tooLong;
};
NetRead ReadWaiting(NetSocket s, int32_t most, NetTake take, void* context);

// Called by a loop that has nothing to do until the next frame is due (the
// simulator): waits at most timeoutMs for a datagram to arrive on s.
void WaitForDatagram(NetSocket s, uint32_t timeoutMs);

// Called by the command lines and the join dialog for what the player
// typed: "192.0.2.7", "192.0.2.7:41414", "2001:db8::7", "[2001:db8::7]",
// "[2001:db8::7]:41414", "[fe80::1%2]:41414", "name" or "name:41414"
// (blanks around allowed). The host part, without brackets, goes to `host`
// (NET_HOST_TEXT bytes); the port, when one is given, to `port` and
// portGiven. False with the reason in `error` for what cannot be an address
// or a host name; names are not looked up here.
bool SplitHostAndPort(const char* text, char* host, uint16_t& port, bool& portGiven, char* error, size_t errorSize);

// The host's addresses with `port`: a literal as it is, a name looked up
// (which may block), at most one of each family, IPv6 first. The count
// found; 0 with the reason in `error`.
constexpr int32_t NET_HOST_ADDRESSES = 2;
int32_t ResolveHost(const char* host, uint16_t port, NetAddress found[NET_HOST_ADDRESSES], char* error,
                    size_t errorSize);
// All of them, at most NET_NAME_ADDRESSES: first those ResolveHost gives
// (`firsts` of them), then the others in the system's order (a lobby of
// several machines under one name: the host tries them in turn).
constexpr int32_t NET_NAME_ADDRESSES = 8;
int32_t ResolveHostAll(const char* host, uint16_t port, NetAddress found[NET_NAME_ADDRESSES], int32_t& firsts,
                       char* error, size_t errorSize);
// The order of ResolveHostAll, in place: the first IPv6 address and the first
// IPv4 one to the front (IPv6 first), the others after them as they were;
// answers how many are at the front.
int32_t FirstOfEachFamily(NetAddress* list, int32_t count);
// Called by ResolveHostAll for what is not a literal: the system's name
// lookup (blocking), both families, each address once in the system's order,
// at most `max`. The count found; 0 with the system's reason in `error`.
int32_t LookUpHostName(const char* name, NetAddress* found, int32_t max, char* error, size_t errorSize);

// "192.0.2.7", "2001:db8::7", "fe80::1%2" (withPort false), or
// "192.0.2.7:41414", "[2001:db8::7]:41414"; text holds at least
// NET_ADDRESS_TEXT bytes.
void FormatAddress(const NetAddress& a, bool withPort, char* text, size_t size);
// A peer as window titles name it: an IPv4 address alone ("192.0.2.7", as
// titles always wrote it), an IPv6 one in brackets with its port
// ("[2001:db8::7]:41414"), which tells it from IPv4 at a glance.
void FormatPeerAddress(const NetAddress& a, char* text, size_t size);

// Called for every secret (the session number and a join's nonce, the
// lobby's keys and room tokens, the invite client's ticket and probe
// nonces): `size` bytes from the system's secure generator (getrandom,
// BCryptGenRandom). False when it cannot give them: the caller then says so
// and does not start; there is no fallback to the clock.
bool SecureRandom(void* out, size_t size);

// A millisecond clock that only goes forward, for callers without their own
// (the simulator; the window uses timeGetTime). Wraps after 49 days.
uint32_t MonotonicMs();
