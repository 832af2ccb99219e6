// The thin socket layer under the network session: UDP, non-blocking, IPv4.
// The same declarations have a POSIX implementation (net_socket_posix.cpp,
// the simulator and the native tests) and a Winsock one
// (net_socket_winsock.cpp, the Windows program); nothing else in net/ knows
// the platform.
#pragma once

#include <cstddef>
#include <cstdint>

// An IPv4 address and port, both in host byte order (192.0.2.7 is
// 0xC0000207).
struct NetAddress {
  uint32_t ip;
  uint16_t port;
};

inline bool SameAddress(const NetAddress& a, const NetAddress& b) { return a.ip == b.ip && a.port == b.port; }

// A socket handle: a file descriptor, or a Winsock SOCKET, widened.
typedef intptr_t NetSocket;
constexpr NetSocket NET_NO_SOCKET = -1;

// Longest address text FormatAddress writes, "255.255.255.255:65535" and NUL.
constexpr size_t NET_ADDRESS_TEXT = 22;

// Called once by the program before any other operation here (WSAStartup on
// Windows, nothing on POSIX). False with a message in `error` when sockets
// cannot be used.
bool BeginSockets(char* error, size_t errorSize);
// Called once by the program on every way out after BeginSockets succeeded.
void EndSockets();

// Called by NetHost (a port) and NetJoin (0: any free port): a UDP socket
// bound to every local address at `port`, non-blocking. NET_NO_SOCKET with a
// message in `error` when it cannot be made (the port in use, no network).
NetSocket OpenUdpSocket(uint16_t port, char* error, size_t errorSize);
// Called by the session when it ends (NetClose) or is given up.
void CloseUdpSocket(NetSocket s);

// Called by the invite client for the private address it reports: the
// local address the system would send to `to` from (its IP) and s's port.
// False when the system cannot say (out is then unchanged).
bool LocalAddressToward(NetSocket s, const NetAddress& to, NetAddress& out);

// Called by the session to send one datagram; false when the system refused
// it at once (a datagram lost on the way is not seen here).
bool SendDatagram(NetSocket s, const NetAddress& to, const uint8_t* data, size_t size);

// Called by NetPoll until it answers -1: the next waiting datagram's length
// (bytes past `capacity` are cut off: give one byte more than the longest
// datagram wanted, and a datagram that fills the buffer is too long), or -1
// when none is waiting. A system fault also answers -1, after it is counted
// in *faults when faults is not null. Never blocks.
int32_t ReceiveDatagram(NetSocket s, uint8_t* buffer, size_t capacity, NetAddress& from, uint32_t* faults);

// Called by a loop that has nothing to do until the next frame is due (the
// simulator): waits at most timeoutMs for a datagram to arrive on s.
void WaitForDatagram(NetSocket s, uint32_t timeoutMs);

// Called by the program for the address the player typed: a dotted address
// or a host name (which may block while the name is looked up). False when
// it names no IPv4 address. Sets out.ip only.
bool ResolveHost(const char* name, NetAddress& out);
// Called by ResolveHost for what is not a dotted address: the system's
// name lookup (blocking).
bool LookUpHostName(const char* name, NetAddress& out);

// "192.0.2.7" (withPort false) or "192.0.2.7:41414"; text holds at least
// NET_ADDRESS_TEXT bytes.
void FormatAddress(const NetAddress& a, bool withPort, char* text, size_t size);

// Called by NetHost and NetJoin: 32 bits from the system's random source
// (the session number and the nonce of a join).
uint32_t SystemRandom32();

// A millisecond clock that only goes forward, for callers without their own
// (the simulator; the window uses timeGetTime). Wraps after 49 days.
uint32_t MonotonicMs();
