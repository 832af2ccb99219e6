// A network match between two programs: the session record and its
// operations. The host (player 0) waits on a UDP port, the joiner (player 1)
// joins it; each side samples only its own player and takes the other's
// actions from the network. Frames run in lockstep: frame N runs on both
// sides with both players' inputs for N, each side sending its own input
// `delay` frames ahead. Start, Stop and shadow changes travel with the
// inputs and act on both sides at the same frame. Every 100 frames both
// sides compare digests of the match state.
//
// Platform-free but for the socket layer (net_socket.h). Who calls what:
//
//   start:   NetHost or NetJoin, then NetPoll from the program's timer (or
//            loop) until phase is Playing (or Ended);
//   a frame: when NetPlaying and NetFrameDue (frame N is due by the
//            session's clock, clockStartMs + 10 N ms, and not held back by
//            NetShouldHold, which moves that clock 10 ms on):
//              if NetWantsLocal: NetSubmitLocal(own player's action now);
//              NetNextFrame(frame) -> false: the frame waits (poll again);
//              true: apply frame.start (SetNetGenerator, then Start as
//              usual), frame.stop, frame.shadow; run FrameTick with
//              frame.action as both players' actions (ActionSource answers
//              them), then the gravity due (frame_gravity.h), then
//              NetFrameDone;
//   always:  NetPoll at least every 10 ms; Start, Stop and the shadow boxes
//            through NetRequestStart / NetRequestStop / NetRequestShadow;
//   end:     phase Ended: endReason and endText say why; NetClose. To leave,
//            NetLeave (tells the other side at once).
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/net_socket.h"
#include "net/net_wire.h"

constexpr uint32_t NET_SILENCE_MS = 5000;      // a peer silent this long is lost
constexpr uint32_t NET_JOIN_WAIT_MS = 10000;   // a joiner gives up after this
constexpr uint32_t NET_JOIN_RESEND_MS = 100;   // a Join is repeated this often
constexpr int32_t NET_RTT_SAMPLES = 4;         // Join-Welcome round trips the delay is chosen from
constexpr uint32_t NET_RTT_SAMPLING_MS = 1000; // ... or as many as came in this long
constexpr uint32_t NET_RESEND_MS = 20;         // unacknowledged inputs are resent this often
constexpr uint32_t NET_KEEPALIVE_MS = 100;     // a Play goes out at least this often
constexpr int32_t NET_RING = 64;               // frames of input held per side
constexpr int32_t NET_POLL_DATAGRAMS = 256;    // datagrams one NetPoll reads at most
constexpr int32_t NET_FRAMES_PER_MESSAGE = 5;  // frames a program runs at most per timer message
constexpr uint32_t NET_DIGEST_FRAMES = 100;    // a digest every second of frames

enum class NetPhase : uint8_t {
  Closed,    // no session
  Hosting,   // host: waiting for a Join
  Joining,   // joiner: Join sent, waiting for the answer
  Greeting,  // host: Welcome sent, waiting for the joiner's first Play
  Playing,   // frames run in lockstep
  Ended,     // over: endReason, endText; NetClose frees the socket
};

// Why a session ended. Texts (endText): see NetEndText.
enum class NetEnd : uint8_t {
  None,
  Left,        // "the other player left the network match"
  Silent,      // "the other player's program stopped answering"
  Busy,        // "a match is already being played"
  Format,      // the other's version and format, and ours
  Differ,      // "the two programs' matches differ at frame N"
  NoAnswer,    // joiner: no answer from the host; host: nobody joined in time
  SocketFault, // the socket could not be made or used
  LeftHere,    // this side left (NetLeave)
};

// Datagrams dropped, by why. The reader's refusals first, then the
// session's own.
enum class NetDrop : uint8_t {
  Length,      // too short, too long, bytes past the end
  Magic,       // not one of ours
  OtherFormat, // another format (a Join is answered with Refuse)
  Kind,        // unknown kind or reserved byte
  Field,       // a field out of range
  Stranger,    // not from the peer's address (a Join from elsewhere is refused)
  Session,     // another session number
  Frames,      // inputs, acknowledgement or digest outside what can be
  Role,        // an event the sender may not send (a Start from the joiner)
  Unexpected,  // a kind that has no place in this phase
  Count
};

// What one frame brings, from NetNextFrame. The program applies, in order:
// start (the generator, then both players reset, as Start does), stop,
// shadow changes; then the frame tick with both actions.
struct NetFrame {
  uint32_t number;        // frames run before this one, since the session began
  Action action[2];       // each player's action for this frame
  bool start;
  NetGenerator generator; // start: the generator state to set before the resets
  bool stop;
  bool shadowSet[2];
  uint8_t shadow[2];
};

// Where the session's datagrams go: the socket by default; tests set their
// own to feed another session through queues.
typedef bool (*NetSendHook)(void* context, const NetAddress& to, const uint8_t* data, size_t size);

struct NetOptions {
  uint8_t forcedDelay;     // 1 to 10 forces the input delay; 0: from the round trip
  uint32_t waitLimitMs;    // a host that sees no Join this long ends (0: waits on)
  bool fixedGenerator;     // the host's Starts use `generator` (the simulator's --seed)
  NetGenerator generator;
  // What this program says it is: BLOCKTIDE_VERSION_STRING and NET_FORMAT
  // (tests give others).
  const char* version;
  uint16_t format;
};

// The input delay for a round trip: half of it plus a margin for jitter and
// one lost datagram, in frames, 1 to 10.
uint8_t DelayForRoundTrip(uint32_t rttMs);

// The options every program starts from: delay from the round trip, no wait
// limit, random generators, this program's version and format.
NetOptions DefaultNetOptions();

struct NetCounters {
  uint64_t received;        // datagrams read from the socket or given to NetReceive
  uint64_t sent;
  uint64_t sendFaults;      // sends the system refused
  uint32_t receiveFaults;   // system faults while receiving
  uint64_t dropped[static_cast<int>(NetDrop::Count)];
  uint64_t refusals;        // Refuse datagrams sent to strangers
  uint32_t holds;           // frames held back to let the other side catch up
};

struct NetSession {
  NetPhase phase;
  bool host;                 // true: player 0, hosting; false: player 1, joined
  int32_t localPlayer;       // 0 or 1
  NetOptions options;
  NetSocket socket;          // NET_NO_SOCKET when fed by hand (tests)
  NetSendHook send;          // null: SendDatagram on `socket`
  void* sendContext;
  NetAddress peer;           // joiner: the host; host: the joiner once accepted
  uint32_t session;          // the host's random number for this match
  uint32_t nonce;            // the joiner's random number for its Join
  uint32_t random;           // the host's generator choices (xorshift state)
  uint8_t delay;             // the input delay in frames, fixed at the handshake
  uint32_t beganMs;          // NetHost / NetJoin
  uint32_t lastHeardMs;      // the peer's last datagram accepted
  uint32_t lastSentMs;
  uint32_t joinSentMs;       // joiner: the last Join sent
  uint32_t rttMs;            // the latest round trip measured
  uint32_t rttHandshakeMs;   // the round trip the delay was chosen from (their mean)
  int32_t rttSamples;        // joiner: Welcomes answered so far, and their round trips
  uint32_t rttSumMs;
  uint32_t firstWelcomeMs;
  uint32_t clockStartMs;     // when local frame 0 is due: frame N at + 10 N ms
  char peerVersion[NET_VERSION_BYTES + 1];
  uint16_t peerFormat;

  // The lockstep. Frames below `delay` have no inputs (both hold nothing).
  uint32_t frame;            // the next frame to run (frames run so far)
  uint32_t localNext;        // the frame the next local input is for
  uint32_t remoteNext;       // the first frame whose remote input is missing
  uint32_t peerAck;          // the first frame of our input the peer lacks
  NetInput localInput[NET_RING];    // by frame % NET_RING
  NetInput remoteInput[NET_RING];
  uint32_t remoteFrame[NET_RING];   // which frame each remote slot holds, + 1 (0: none)
  uint8_t pendingEvents;     // asked for, to go with the next local input
  uint8_t pendingShadow[2];
  uint32_t startFrame;       // host: the frame of the latest Start sent, + 1

  // Digests (DigestGameState) every NET_DIGEST_FRAMES frames.
  uint32_t digestFrame[2];   // our latest two: the frame count taken at
  uint64_t digest[2];
  uint32_t peerDigestFrame;  // the peer's latest not yet compared (0: none)
  uint64_t peerDigest;

  // Round trip and pace.
  uint32_t echoTime;         // the peer's latest `time`, and when it came
  uint32_t echoReceivedMs;
  int32_t advantage16;       // smoothed: how far our frame runs ahead of the peer's, as seen here
  int32_t peerAdvantage16;   // the same, as the peer sees it
  uint32_t lastHoldFrame;
  uint32_t refuseWindowMs;   // Refuse datagrams are limited to 10 per 100 ms
  uint32_t refusalsInWindow;
  bool connected;            // a peer was accepted: Bye can be told
  bool byeSent;
  bool byeReceived;

  NetCounters counters;
  NetEnd endReason;
  uint32_t endFrame;         // Differ: the frame count the digests differ at
  char endText[192];
};

// The window's session (the simulator's too).
extern NetSession netSession;

// ---- Starting -------------------------------------------------------------

// Called by the program to host on UDP `port`: opens the socket and waits
// for a Join (phase Hosting). False, with phase Ended and endText, when the
// port cannot be used.
bool NetHost(NetSession& s, uint16_t port, const NetOptions& options, uint32_t nowMs);
// Called by the program to join the host at `host`: opens a socket on any
// port and sends a Join (phase Joining). False as NetHost.
bool NetJoin(NetSession& s, const NetAddress& host, const NetOptions& options, uint32_t nowMs);

// The same without a socket (tests feed the session with NetReceive and take
// its datagrams from `send`, set after these calls).
void NetBeginHost(NetSession& s, const NetOptions& options, uint32_t nowMs);
void NetBeginJoin(NetSession& s, const NetAddress& host, const NetOptions& options, uint32_t nowMs);

// ---- Running --------------------------------------------------------------

// Called by the program's timer (or loop), at least every 10 ms: reads the
// datagrams waiting (at most NET_POLL_DATAGRAMS), then NetService. Never
// blocks, allocates nothing.
void NetPoll(NetSession& s, uint32_t nowMs);
// One datagram from `from` (NetPoll's, or a test's).
void NetReceive(NetSession& s, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs);
// What time alone does: Joins repeated, inputs resent, keepalives, and the
// ends for silence and for no answer.
void NetService(NetSession& s, uint32_t nowMs);

// Playing: frames can run (or the peer has left and the frames it sent
// before can still run: phase Ended with endReason Left).
bool NetPlaying(const NetSession& s);

// Called before each frame: true when the session wants the local input for
// frame `frame + delay` now (give it with NetSubmitLocal before NetNextFrame).
bool NetWantsLocal(const NetSession& s);
// Called when NetWantsLocal: the own player's action sampled now, with the
// events asked for since the last call; sent to the peer at once.
void NetSubmitLocal(NetSession& s, Action action, uint32_t nowMs);

// Called by the Start button, the Stop button and a Shadow box: the event
// goes with the next local input and acts on both sides at its frame. On the
// joiner, Start asks the host, whose next input carries the Start.
void NetRequestStart(NetSession& s);
void NetRequestStop(NetSession& s);
void NetRequestShadow(NetSession& s, int p, uint8_t value);

// Both inputs of the next frame are here.
bool NetFrameReady(const NetSession& s);
// Called when the next frame is due: false when it must wait for the peer;
// true with the frame's actions and events in `out` (the frame counts as run).
bool NetNextFrame(NetSession& s, NetFrame& out);
// Called for a frame's start, before the recorder's RecordBeforeStart and
// the players' resets: the generator the host chose (rngSeeded set).
void SetNetGenerator(const NetGenerator& g);
// Called after the frame from NetNextFrame ran (tick and gravity): every
// NET_DIGEST_FRAMES frames the state's digest is taken, sent and compared.
void NetFrameDone(NetSession& s, uint32_t nowMs);

// Called when a frame is due and ready: true when this side runs ahead of the
// other by a frame or more; the program then lets this frame come 10 ms
// later (at most once in 25 frames).
bool NetShouldHold(NetSession& s);

// Called by the program's frame loop before each frame: true when frame
// s.frame is due by the session's clock (clockStartMs + 10 N ms) and the
// pace does not hold it; a hold (NetShouldHold) moves the clock 10 ms on.
bool NetFrameDue(NetSession& s, uint32_t nowMs);

// ---- Ending ----------------------------------------------------------------

// Called when the program leaves (window closed, Leave, the simulator done):
// tells the peer (with the digest of the frames run), then NetClose.
void NetLeave(NetSession& s, uint32_t nowMs);
// Tells the peer that this side leaves, with the digest of the frames run,
// and keeps the socket: the simulator waits for the peer's own goodbye.
void NetSayGoodbye(NetSession& s, uint32_t nowMs);
// Frees the socket; the session is Closed (endReason and endText stay).
void NetClose(NetSession& s);

// The peer's address as text ("192.0.2.7"), for the window title.
void NetPeerText(const NetSession& s, char* text, size_t size);
