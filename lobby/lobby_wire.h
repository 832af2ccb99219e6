// The lobby's datagrams: their record, the writer and the reader. Every
// field is checked on reading and nothing here allocates. Platform-free.
//
// Every datagram starts with 8 bytes: the magic "BTlb" (the game's own are
// "BTnw", so the two never pass for each other), the format (u16), the kind
// (u8) and a zero byte. All numbers are little-endian; an address is 16
// bytes in network order (an IPv4 one IPv4-mapped) and its port (u16), 18
// bytes in all, all zero for none. Each kind has one exact length but
// Relayed:
//
//   Register   60  cookie u64, ticket u64, the sender's private addresses
//                  (2: one a family)
//   CodeGiven  34  code u64, ticket u64, token u64, refresh period in s u16
//   Refresh   124  code u64, ticket u64, path u8 (0 waiting, 1 playing
//                  direct, 2 playing relayed), 99 zero bytes
//   Join      124  cookie u64, code u64, ticket u64, the sender's private
//                  addresses (2), 56 zero bytes
//   Peers     124  code u64, ticket u64, token u64, role u8 (0 host,
//                  1 joiner), zero u8, the other side's public addresses (2:
//                  as the lobby saw them, one a family), its private ones (2),
//                  the relay's address (1: all zero for the lobby that sent
//                  the Peers; another lobby process's when the room's host is
//                  held there, a lobby of several processes sharing a store)
//   Challenge  24  cookie u64, ticket u64
//   Error      26  reason u8, zero u8, code u64, ticket u64
//   Probe      28  token u64, nonce u64, the sender's role u8, answer u8
//                  (0 a probe, 1 its answer), 2 zero bytes: player to player
//                  only, while punching (the lobby drops any it is sent)
//   Relayed  16+N  token u64, then one game datagram of N bytes (1 to
//                  NET_MAX_DATAGRAM): to the lobby, which forwards it as it
//                  is to the room's other side
//
// Every reply of the lobby names the request it answers by the asker's
// ticket, its own random number, which only the lobby sees: a client takes
// no reply that does not, so a stranger who forges the lobby's address
// cannot end or steer it. The ticket also tells the lobby that a request
// over the second family is the same player's, so its room learns the
// public address of each. The room's token, drawn by the lobby and given
// only to the room's host (CodeGiven) and joiner (Peers), is in every probe
// and relayed datagram: a probe answer also echoes its probe's nonce. A
// request is never shorter than any reply the lobby sends for it (Join and
// Refresh are padded for that), so the lobby cannot be made to amplify a
// flood.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/net_socket.h"
#include "net/net_wire.h"

constexpr uint16_t LOBBY_FORMAT = 4;  // 1 had IPv4 addresses only; 2 no tickets in replies, no tokens; 3 no relay
                                      // address in Peers
constexpr uint16_t LOBBY_DEFAULT_PORT = 41415;
constexpr size_t LOBBY_MAX_DATAGRAM = 124;  // the longest lobby datagram of one length (Refresh, Join, Peers)
constexpr size_t LOBBY_RELAY_HEADER = 16;   // a Relayed datagram's bytes before the game's
constexpr size_t LOBBY_MAX_RELAYED = LOBBY_RELAY_HEADER + NET_MAX_DATAGRAM;
constexpr int32_t LOBBY_FAMILIES = 2;       // addresses of a side a datagram carries
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
  Relayed = 9,    // player to lobby to player: a game datagram in the room's envelope
};

enum class LobbyError : uint8_t {
  UnknownCode = 1,  // no such room, or another address's
  Expired = 2,      // the code was not joined in time
  RateLimited = 3,  // too many registrations or look-ups from this address's network
  Full = 4,         // every room is taken: "the lobby is full"
  Dropped = 5,      // the host's waiting room was given up for another network's host
  Unavailable = 6,  // the lobby's shared store does not answer: "the lobby is unavailable"
};

struct LobbyDatagram {
  LobbyKind kind;
  uint16_t format;
  uint64_t cookie;        // Register, Join, Challenge
  uint64_t code;          // CodeGiven, Refresh, Join, Peers, Error
  uint64_t ticket;        // the asker's own, the same over both families: in its requests and the
                          // lobby's replies to it (all but Probe and Relayed)
  uint64_t token;         // CodeGiven, Peers, Probe, Relayed: the room's
  uint64_t nonce;         // Probe: the prober's, echoed by the answer
  uint16_t refreshS;      // CodeGiven
  uint8_t path;           // Refresh: 0 waiting, 1 playing direct, 2 playing relayed
  uint8_t role;           // Peers: 0 the receiver hosts, 1 it joined; Probe: the sender's
  uint8_t answer;         // Probe: 0 a probe, 1 the answer to one
  LobbyError reason;      // Error
  NetAddress privates[LOBBY_FAMILIES];  // Register, Join: the sender's; Peers: the other side's
  NetAddress publics[LOBBY_FAMILIES];   // Peers: the other side's, as the lobby saw them
  NetAddress relay;                     // Peers: the relay's address; none: the sender's
  const uint8_t* payload; // Relayed: the game datagram, within the bytes read
  size_t payloadSize;
};

enum class LobbyReadResult : uint8_t {
  Ok,
  Length,  // not the kind's exact length (truncated, or bytes past the end)
  Magic,   // not a lobby datagram (a relayed game datagram, or junk)
  Format,  // another lobby format
  Kind,    // an unknown kind, or the header's zero byte set
  Field,   // a field out of range: a code past the last, a path, role,
           // answer or reason unknown, a padding byte set, an address with
           // a port of 0, Peers without a first public address, a ticket
           // or token of 0
};

// True when the bytes start with the lobby's magic: the lobby reads these and
// relays everything else.
bool IsLobbyDatagram(const uint8_t* data, size_t size);

// Writes d (a Relayed one with its payload); the bytes written, or 0 when
// capacity is too small.
size_t WriteLobbyDatagram(const LobbyDatagram& d, uint8_t* out, size_t capacity);

// Reads and checks one datagram; on anything but Ok, d is not to be used.
LobbyReadResult ReadLobbyDatagram(const uint8_t* data, size_t size, LobbyDatagram& d);

// The code as players see it: "XXXX-XXXX" and NUL in text[10], from the
// alphabet 23456789ABCDEFGHJKMNPQRSTUVWXYZ (no 0/O, 1/I/L), most significant
// first.
constexpr size_t LOBBY_CODE_TEXT = 10;
void FormatLobbyCode(uint64_t code, char* text);
// The code typed: 8 characters of the alphabet in any case, with or without
// one dash (or a space) after the fourth; false for anything else.
bool ParseLobbyCode(const char* text, uint64_t& code);
