// blocktide-lobby-attack: the stranger's side against a blocktide-lobby and
// two players on this machine's loopback, in a network namespace the test
// script makes. Everything goes out through one raw socket (IP_HDRINCL), so
// any 127.x.y.z address and port can be a source, and everything coming in
// is read from one raw UDP socket: no socket per address, nothing bound.
// Every destination is on 127/8; SendFrom refuses any other.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/xorshift.h"
#include "lobby/lobby_wire.h"

constexpr uint32_t ATTACK_LOOPBACK = 0x7F000001;   // the lobby's and the players' address
constexpr uint32_t ATTACK_STRANGER = 0x7F420001;   // 127.66.0.1: the stranger's own address
constexpr uint32_t ATTACK_FIRST_NET = 200;         // attacking /24s: 127.200.0.0/24 on

enum class AttackMode : uint8_t { None, Register, Lookup, Hold, Stranger, RelayFlood, Stall };

struct AttackOptions {
  AttackMode mode;
  uint16_t lobbyPort;
  uint32_t addresses;       // attacking addresses
  uint32_t networks;        // the /24s they are spread over
  uint32_t firstNetwork;    // the first of them, counted from 127.200.0.0/24
  uint32_t attempts;        // registrations each address tries
  uint64_t seconds;         // how long a flood or a hold lasts
  uint64_t rate;            // datagrams a second
  uint64_t bytesPerSecond;  // the relay flood's
  uint64_t code;            // the friend's room
  uint64_t joinAfter;       // the stranger's Joins by the code begin this many seconds in (0: none)
  uint16_t firstPort, lastPort;  // the players' ports on 127.0.0.1
};

// One UDP datagram the raw socket read.
struct Seen {
  uint32_t from, to;
  uint16_t fromPort, toPort;
  const uint8_t* data;
  size_t size;
};

struct Attack {
  int out, in;  // the raw sockets
  AttackOptions options;
  Xorshift64 random;
  uint64_t sent, sentBytes, sendFaults;
  volatile int stop;  // SIGTERM or SIGINT: the run ends early, its figures printed
  uint8_t buffer[2048];
};

extern Attack attack;

uint64_t NowNs();
// A number of 64 random bits (never 0): the attacker's tickets and guesses.
uint64_t Random64();
// The raw sockets and the generator's seed from getrandom; false with the
// reason printed.
bool OpenAttack();
void CloseAttack();
// One UDP datagram from any address and port to one on 127/8.
bool SendFrom(uint32_t fromIp, uint16_t fromPort, uint32_t toIp, uint16_t toPort, const uint8_t* data, size_t size);
bool SendLobby(uint32_t fromIp, uint16_t fromPort, uint32_t toIp, uint16_t toPort, const LobbyDatagram& d);
// The next UDP datagram seen, waiting up to timeoutMs; false when none came.
bool Sniff(Seen& s, int timeoutMs);
// From the lobby's port on 127.0.0.1.
bool FromLobby(const Seen& s);

// The i-th attacking address: network firstNetwork + i % networks
// (127.200.0.0/24 on), host i / networks + 1 in it; and back (-1 when not
// one).
uint32_t AttackerAddress(uint32_t i);
int64_t AttackerIndex(uint32_t ip);

// Prints "key: value" and flushes.
void Figure(const char* key, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The modes of lobby_attack_forge.cpp: the friend's room and the relay.
int RunStranger();
int RunRelayFlood();
int RunStall();
