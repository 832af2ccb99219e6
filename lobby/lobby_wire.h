// The lobby's datagrams: their record, the writer and the reader. Every
// field is checked on reading and nothing here allocates. Platform-free.
//
// Every datagram starts with 8 bytes: the magic "BTlb" (the game's own are
// "BTnw", so the two never pass for each other), the format (u16), the kind
// (u8) and a zero byte. All numbers are little-endian; an address is its
// IPv4 number (u32) and port (u16). Each kind has one exact length:
//
//   Register   22  cookie u64, the sender's private address
//   CodeGiven  18  code u64, refresh period in seconds u16
//   Refresh    32  code u64, path u8 (0 waiting, 1 playing direct), 15 zero bytes
//   Join       30  cookie u64, code u64, the sender's private address
//   Peers      30  code u64, role u8 (0 host, 1 joiner), zero u8, the other
//                  side's public address (as the lobby saw it), its private one
//   Challenge  16  cookie u64
//   Error      18  reason u8, zero u8, code u64
//   Probe      20  code u64, the sender's role u8, answer u8 (0 a probe,
//                  1 its answer), 2 zero bytes: player to player only, while
//                  punching (the lobby drops any it is sent)
//
// A request is never shorter than any reply the lobby sends for it (Refresh
// is padded for that), so the lobby cannot be made to amplify a flood.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/net_socket.h"

constexpr uint16_t LOBBY_FORMAT = 1;
constexpr uint16_t LOBBY_DEFAULT_PORT = 41415;
constexpr size_t LOBBY_MAX_DATAGRAM = 32;  // the longest lobby datagram (Refresh)
constexpr uint64_t LOBBY_CODE_COUNT = 852891037441ull;  // 31^8 codes: 0 to this - 1

enum class LobbyKind : uint8_t {
  Register = 1,   // host to lobby: give me a code
  CodeGiven = 2,  // lobby to host: your code
  Refresh = 3,    // host to lobby: keep my code (and my NAT mapping) alive
  Join = 4,       // joiner to lobby: the host with this code, please
  Peers = 5,      // lobby to both: the other side's addresses
  Challenge = 6,  // lobby to an unproven asker: send again with this cookie
  Error = 7,      // lobby to asker: refused, with the reason
  Probe = 8,      // player to player: the hole punching's probe or its answer
};

enum class LobbyError : uint8_t {
  UnknownCode = 1,  // no such room, or another address's
  Expired = 2,      // the code was not joined in time
  RateLimited = 3,  // too many registrations or look-ups from this address
};

struct LobbyDatagram {
  LobbyKind kind;
  uint16_t format;
  uint64_t cookie;        // Register, Join, Challenge
  uint64_t code;          // CodeGiven, Refresh, Join, Peers, Error
  uint16_t refreshS;      // CodeGiven
  uint8_t path;           // Refresh: 0 waiting, 1 playing direct
  uint8_t role;           // Peers: 0 the receiver hosts, 1 it joined; Probe: the sender's
  uint8_t answer;         // Probe: 0 a probe, 1 the answer to one
  LobbyError reason;      // Error
  NetAddress privateAddress;  // Register, Join: the sender's; Peers: the other side's
  NetAddress publicAddress;   // Peers: the other side's, as the lobby saw it
};

enum class LobbyReadResult : uint8_t {
  Ok,
  Length,  // not the kind's exact length (truncated, or bytes past the end)
  Magic,   // not a lobby datagram (a relayed game datagram, or junk)
  Format,  // another lobby format
  Kind,    // an unknown kind, or the header's zero byte set
  Field,   // a field out of range: a code past the last, a path, role,
           // answer or reason unknown, a padding byte set, a public port of 0
};

// True when the bytes start with the lobby's magic: the lobby reads these and
// relays everything else.
bool IsLobbyDatagram(const uint8_t* data, size_t size);

// Writes d; the bytes written, or 0 when capacity is too small.
size_t WriteLobbyDatagram(const LobbyDatagram& d, uint8_t* out, size_t capacity);

// Reads and checks one datagram; on anything but Ok, d is not to be used.
LobbyReadResult ReadLobbyDatagram(const uint8_t* data, size_t size, LobbyDatagram& d);

// The code as players see it: "XXXX-XXXX" and NUL in text[10], from the
// alphabet 23456789ABCDEFGHJKMNPQRSTUVWXYZ (no 0/O, 1/I/L), most significant
// first.
constexpr size_t LOBBY_CODE_TEXT = 10;
void FormatLobbyCode(uint64_t code, char* text);
// The code typed: 8 characters of the alphabet in any case, with or without
// one dash after the fourth; false for anything else.
bool ParseLobbyCode(const char* text, uint64_t& code);
