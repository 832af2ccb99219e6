// The network session's datagrams: their records, the writer and the reader.
// Every field is checked on reading; nothing read is trusted further than
// these checks, and nothing here allocates. Platform-free.
//
// Every datagram starts with the same 8 bytes in every format: the magic
// "BTnw", the format (u16) and the kind (u8), and a zero byte. Join, Welcome
// and Refuse then carry the sender's program version in 16 bytes at offset
// 8, so that two programs of different formats can still name each other's
// version. All numbers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/game_state.h"

constexpr uint16_t NET_FORMAT = 3;           // 2: the far peers' delay and ring; 3: the path's secrets, Check and Proof
constexpr uint16_t NET_DEFAULT_PORT = 41414;  // the port when none is given (command line, dialogs)
constexpr size_t NET_VERSION_BYTES = 16;      // the version text, NUL-padded
constexpr size_t NET_MAX_DATAGRAM = 400;      // the longest datagram written or read
constexpr int32_t NET_MAX_INPUTS = 128;       // frames of input one datagram carries
constexpr uint8_t NET_MAX_DELAY = 40;         // the input delay, in frames: 1 to 40 (a 780 ms round trip)

enum class NetKind : uint8_t {
  Join = 1,     // joiner to host: may I play?
  Welcome = 2,  // host to joiner: yes, with the session number
  Refuse = 3,   // host to joiner: no (busy, or another format)
  Play = 4,     // both ways during the match: inputs, acknowledgement, digest, times
  Bye = 5,      // both ways: the session ends, with the reason
  Check = 6,    // to a peer heard from a new address: prove the session from there
  Proof = 7,    // the answer, from the new address: the check's number under the path's key
};

// What a side asks for in the frame its input belongs to; the bits of a
// NetInput's `events`.
constexpr uint8_t NET_EVENT_START = 1;          // the host starts a match (generator given)
constexpr uint8_t NET_EVENT_START_REQUEST = 2;  // the joiner asks the host to start one
constexpr uint8_t NET_EVENT_STOP = 4;           // Stop
constexpr uint8_t NET_EVENT_SHADOW0 = 8;        // player 0's shadow switch set to shadow[0]
constexpr uint8_t NET_EVENT_SHADOW1 = 16;       // player 1's shadow switch set to shadow[1]
constexpr uint8_t NET_EVENTS_KNOWN = 31;

// The generator state a Start begins from, chosen by the host: both player
// streams' seeds and the shared state (rngSeeded is then true).
struct NetGenerator {
  uint32_t seed[2];
  uint32_t state;
};

// One side's input for one frame: its player's action and its events.
struct NetInput {
  Action action;
  uint8_t events;
  uint8_t shadow[2];
  NetGenerator generator;  // NET_EVENT_START only
};

// Why a Refuse or a Bye was sent.
enum class NetReason : uint8_t {
  Busy = 1,       // Refuse: a match is already being played
  Format = 2,     // Refuse: another network format
  Left = 3,       // Bye: the player left (window closed, Leave, the simulator's end)
  Differ = 4,     // Bye: the digests differed at `frame`
};

// One datagram, read or to be written. Which fields count depends on kind.
struct NetDatagram {
  NetKind kind;
  uint16_t format;
  char version[NET_VERSION_BYTES + 1];  // Join, Welcome, Refuse: NUL-terminated
  uint32_t nonce;        // Join; echoed by Welcome and Refuse
  uint64_t secret;       // Join: the joiner's half of the path's key; Welcome: the host's
  uint32_t session;      // Welcome, Play, Bye, Check, Proof
  uint64_t challenge;    // Check, echoed by Proof: the checker's random number
  uint64_t tag;          // Proof: KeyedHash of the challenge under the path's key
  uint32_t time;         // Join, Welcome, Play: the sender's clock (ms)
  uint32_t echo;         // Welcome, Play: the latest `time` received from the other side
  uint16_t held;         // Play: ms between receiving `echo` and sending this
  uint8_t delay;         // Join, Welcome: forced (0: none); Play: the session's delay
  NetReason reason;      // Refuse, Bye
  uint32_t frame;        // Play: the sender's next frame to run; Bye: frames run
  int16_t advantage;     // Play: how far the sender runs ahead, 1/16 frames
  uint32_t ack;          // Play: the first frame whose input the sender lacks
  uint32_t digestFrame;  // Play, Bye: the frame count the digest was taken at (0: none)
  uint64_t digest;       // Play, Bye
  uint32_t firstFrame;   // Play: the frame of inputs[0]
  int32_t count;         // Play: inputs carried, 0 to NET_MAX_INPUTS
  NetInput inputs[NET_MAX_INPUTS];
};

// Why the reader refused a datagram (Ok: it may be used).
// True when the bytes start with the game's magic ("BTnw"): what is not is
// another service's (the invite lobby's) or junk.
bool IsNetDatagram(const uint8_t* data, size_t size);

enum class NetReadResult : uint8_t {
  Ok,
  Length,        // too short, too long, or bytes past the last field
  Magic,         // not one of ours
  OtherFormat,   // another format: of a Join, Welcome or Refuse only the
                 // kind, format, version and nonce were read
  Kind,          // an unknown kind, or a nonzero reserved byte
  Field,         // a field out of range (version text, delay, reason, count,
                 // action, event bits, frame numbers)
};

// Writes d; returns the bytes written (at most NET_MAX_DATAGRAM), or 0 when
// d does not fit (a Play datagram: write fewer inputs). Plays carry as many
// of d.count inputs as fit; `d.count` is set to that number.
size_t WriteDatagram(NetDatagram& d, uint8_t* out, size_t capacity);

// Reads and checks one datagram. On anything but Ok, `d` is partly filled
// and is not to be used (OtherFormat excepted, see above).
NetReadResult ReadDatagram(const uint8_t* data, size_t size, NetDatagram& d);
