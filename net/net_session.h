// A network match between two programs: the session's public face. The host
// (player 0) waits on a UDP port, the joiner (player 1) joins it; each side
// samples only its own player and takes the other's actions from the
// network. Frames run in lockstep: frame N runs on both sides with both
// players' inputs for N, each side sending its own input `delay` frames
// ahead. Start, Stop and shadow changes travel with the inputs and act on
// both sides at the same frame. Every 100 frames both sides compare digests
// of the match state.
//
// Platform-free but for the socket layer (net_socket.h). Who calls what:
//
//   start:   NetHost or NetJoin, then NetPoll from the program's timer (or
//            loop) at least every 10 ms;
//   frames:  NetRunFrames after each poll: it runs the frames due by the
//            session's clock, asking the program for its own player's
//            action and to run each agreed frame (NetApplyFrame);
//   events:  NetTakeEvent says Connected once and Ended once (NetEndText
//            says why); NetSessionStats for the title and the figures;
//   buttons: NetRequestStart / NetRequestStop / NetRequestShadow;
//   end:     NetLeave (tells the other side at once), or NetFinish until it
//            answers true (the simulator: both compare their last frames).
// The session's record is net/'s own (net_session_state.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/net_socket.h"
#include "net/net_wire.h"

struct Recorder;

constexpr uint32_t NET_SILENCE_MS = 30000;     // a peer silent this long is lost; till then the match waits
constexpr uint32_t NET_WAIT_SHOWN_MS = 1000;   // ... and says so after this (NetWaitingSeconds)
constexpr uint32_t NET_STALL_MS = 5000;        // no frame this long while the peer talks: stuck
constexpr uint32_t NET_JOIN_WAIT_MS = 10000;   // a joiner gives up after this
constexpr uint32_t NET_JOIN_RESEND_MS = 100;   // a Join is repeated this often
constexpr uint32_t NET_GREETING_MS = 1000;     // a host whose joiner sends no Play this long after
                                               // its last Join waits for another
constexpr int32_t NET_RTT_SAMPLES = 4;         // Join-Welcome round trips the delay is chosen from
constexpr uint32_t NET_RTT_SAMPLING_MS = 1000; // ... or as many as came in this long
constexpr uint32_t NET_RESEND_MS = 20;         // unacknowledged inputs are resent this often
constexpr uint32_t NET_KEEPALIVE_MS = 100;     // a Play goes out at least this often
constexpr uint32_t NET_BYE_RESEND_MS = 100;    // NetFinish repeats the goodbye this often
constexpr uint32_t NET_FINISH_MS = 3000;       // ... and waits this long for the peer's
constexpr uint32_t NET_TAIL_MS = 1000;         // the frames a leaver ran, awaited this long
constexpr int32_t NET_RING = 256;              // frames of input held per side
constexpr int32_t NET_POLL_DATAGRAMS = 256;    // datagrams one NetPoll reads at most
static_assert(NET_READ_BYTES > NET_MAX_DATAGRAM + 32, "a game datagram in an envelope is read whole");
constexpr int32_t NET_FRAMES_PER_MESSAGE = 5;  // frames a program runs at most per timer message
constexpr uint32_t NET_MAX_LATE_FRAMES = 50;   // behind the clock further, the time is dropped
constexpr uint32_t NET_DIGEST_FRAMES = 100;    // a digest every second of frames
constexpr int32_t NET_FAULT_RUN = 10;          // socket faults in a row that end the session
static_assert(NET_RING > 2 * NET_MAX_DELAY + NET_MAX_INPUTS / 2, "the ring holds a far peer's inputs in flight");

enum class NetPhase : uint8_t {
  Closed,    // no session
  Hosting,   // host: waiting for a Join
  Joining,   // joiner: Join sent, waiting for the answer
  Greeting,  // host: Welcome sent to joiners, waiting for the first one's first Play
  Playing,   // frames run in lockstep
  Ended,     // over: NetEndText says why; NetClose frees the socket
};

// Why a session ended. Texts: NetEndText.
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
  Stalled,     // no frame for NET_STALL_MS while the peer still answered
  Unconfirmed, // NetFinish: the peer's goodbye never came, the last frames unchecked
  NoRandom,    // "this computer's secure random generator failed": no session without secrets
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
  Unproven,    // the session's datagram from a new address, or a Proof, that did not prove the path
  Count
};

// One agreed frame, as NetRunFrames hands it out. NetApplyFrame applies, in
// order: start (the generator, then both players reset, as Start does),
// stop, shadow changes; then the frame tick with both actions and gravity.
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
  uint8_t forcedDelay;     // 1 to NET_MAX_DELAY forces the input delay; 0: from the round trip
  uint32_t waitLimitMs;    // a host that sees no Join this long ends (0: waits on)
  bool fixedGenerator;     // the host's Starts use `generator` (the simulator's --seed)
  NetGenerator generator;
  uint32_t fixedSession;    // the host's session number (tests and fuzzing); 0: a random one
  // What this program says it is: BLOCKTIDE_VERSION_STRING and NET_FORMAT
  // (tests give others).
  const char* version;
  uint16_t format;
};

// The input delay for a round trip: half of it plus a margin for jitter and
// one lost datagram, in frames, 1 to NET_MAX_DELAY.
uint8_t DelayForRoundTrip(uint32_t rttMs);

// The options every program starts from: delay from the round trip, no wait
// limit, random generators, this program's version and format.
NetOptions DefaultNetOptions();

// What the program may know of a session: for the title and the figures.
struct NetStats {
  NetPhase phase;
  int32_t localPlayer;      // 0 hosting, 1 joining
  uint8_t delay;            // frames, fixed at the handshake
  uint32_t rttMs;           // the latest round trip
  uint32_t rttHandshakeMs;  // the round trip the delay was chosen from
  uint32_t session;         // the host's number for this match
  uint32_t frames;          // frames run
  uint32_t digestFrame;     // the frame count of the latest digest taken
  uint32_t waits;           // frames that were due and waited for the peer
  uint32_t holds;           // frames held back to let the peer catch up
  uint32_t lateFrames;      // frames' time dropped after a stall of this program
  uint64_t sent, received, refusals;
  uint64_t sendFaults;
  uint32_t receiveFaults;
  uint64_t dropped[static_cast<int>(NetDrop::Count)];
  uint64_t droppedAll;
  NetEnd endReason;
  uint32_t resumes;            // waits on a silent peer that ended with it heard again
  uint32_t lastSilenceMs;      // the latest one's length
  uint32_t lastResumeFrameMs;  // ... and from the peer's return to the next frame
  uint32_t moves;              // new addresses of the peer proven and followed
};

enum class NetEvent : uint8_t {
  None,
  Connected,  // the handshake is done: frames run from now on
  Resumed,    // a silent peer was heard again and the next frame ran (NetStats: how long)
  Moved,      // the peer proved a new address and the session follows it (NetPeerAddressText)
  Ended,      // the session is over: NetEndText says why
};

// The sessions: the program's, and three more for tests and tools that
// play both sides in one process.
struct NetSession;
constexpr int32_t NET_SESSIONS = 4;
extern NetSession& netSession;  // NetSessionRecord(0)
NetSession& NetSessionRecord(int32_t i);

// ---- Starting -------------------------------------------------------------

// Called by the program to host on UDP `port`: opens the socket and waits
// for a Join (phase Hosting). False, with phase Ended and its text, when the
// port cannot be used.
bool NetHost(NetSession& s, uint16_t port, const NetOptions& options, uint32_t nowMs);
// Called by the program to join the host at `host`: opens a socket on any
// port and sends a Join (phase Joining). False as NetHost.
bool NetJoin(NetSession& s, const NetAddress& host, const NetOptions& options, uint32_t nowMs);

// Called right after NetJoin (or NetBeginJoin) for a host name with both
// families: the Joins go to `other` as well, and the first address that
// answers is the host's, the other forgotten.
void NetAlsoJoin(NetSession& s, const NetAddress& other, uint32_t nowMs);

// The same without a socket: the datagrams go to `send` (tests feed the
// session with NetReceive).
void NetBeginHost(NetSession& s, const NetOptions& options, NetSendHook send, void* context, uint32_t nowMs);
void NetBeginJoin(NetSession& s, const NetAddress& host, const NetOptions& options, NetSendHook send,
                  void* context, uint32_t nowMs);

// The same on a socket the caller opened (the invite client's, whose NAT
// mapping the other side punched to); the session closes it at the end. The
// joiner's first Join goes at the next NetService (or NetPoll).
void NetHostOnSocket(NetSession& s, NetSocket socket, const NetOptions& options, uint32_t nowMs);
void NetJoinOnSocket(NetSession& s, NetSocket socket, const NetAddress& host, const NetOptions& options,
                     uint32_t nowMs);

// A session begun on the invite client's socket is read by the client, not
// by NetPoll (which then only serves the timers): the client hands it the
// game datagrams it trusts (NetReceive), then what the read met
// (NetTakeRead), then calls NetService.
// NetTakeRead: a socket that faults on every read and reads nothing ends the
// session, said as such and not as the peer's silence 5 s later.
void NetTakeRead(NetSession& s, const NetRead& read);
// Set after the session begins on a socket: its datagrams go to `send`
// instead (the invite client puts them in the relay's envelope), while it
// still reads the socket.
void NetSetSendHook(NetSession& s, NetSendHook send, void* context);

// An invite match's path: the room's token, known to both sides and the
// lobby only, joins the two sides' secrets in the key a moved peer proves
// itself with. Called right after the session began.
void NetSetPathToken(NetSession& s, uint64_t token);
// The invite client's fallback: from now on the peer is the relay at
// `relay` and the datagrams go to `send` (the relay's envelope). A relayed
// session follows no new address.
void NetUseRelay(NetSession& s, const NetAddress& relay, NetSendHook send, void* context);
// The peer's silence in ms while frames run (0 otherwise): the invite client
// falls back to the relay on it.
uint32_t NetSilentMs(const NetSession& s, uint32_t nowMs);
// While the match waits on a silent peer (after NET_WAIT_SHOWN_MS): the
// seconds left before it ends, NET_SILENCE_MS / 1000 down to 1; 0 when it
// does not wait. For "BlockTide - waiting for the other player (N s)".
uint32_t NetWaitingSeconds(const NetSession& s, uint32_t nowMs);

// ---- Running --------------------------------------------------------------

// Called by the program's timer (or loop), at least every 10 ms: reads the
// datagrams waiting (at most NET_POLL_DATAGRAMS), then NetService. Never
// blocks, allocates nothing.
void NetPoll(NetSession& s, uint32_t nowMs);
// One datagram from `from` (NetPoll's, or a test's).
void NetReceive(NetSession& s, const NetAddress& from, const uint8_t* data, size_t size, uint32_t nowMs);
// What time alone does: Joins repeated, inputs resent, keepalives, and the
// ends for silence, a stall and no answer.
void NetService(NetSession& s, uint32_t nowMs);

// What the program supplies to the frame runner.
struct NetFrameCalls {
  void* context;
  // The own player's action sampled now, for the input sent now.
  Action (*localAction)(void* context, int32_t player);
  // Runs one agreed frame (NetApplyFrame and the program's own counting);
  // false: run no more frames in this call.
  bool (*runFrame)(void* context, const NetFrame& frame);
};

struct NetRun {
  int32_t ran;      // frames run
  bool waited;      // the next frame is due but waits for the peer's input
  bool held;        // a frame was held back by the pace
};

// Called after NetPoll: runs the frames due by the session's clock (frame N
// at the clock's start + 10 N ms), at most maxFrames: the local input is
// sent when the delay asks for it, each agreed frame is run through
// `calls`, and its digest taken and compared. Far behind the clock (this
// program stalled) the time past NET_MAX_LATE_FRAMES is dropped; the other
// side holds back to match. Allocates nothing.
NetRun NetRunFrames(NetSession& s, uint32_t nowMs, int32_t maxFrames, const NetFrameCalls& calls);

// Frames can run (or the peer has left and the frames it ran before can
// still run here).
bool NetPlaying(const NetSession& s);
// Milliseconds until the next frame is due (0: due now; 10 when none runs).
uint32_t NetMsUntilDue(const NetSession& s, uint32_t nowMs);

// What a program adds when an agreed frame is applied. `recorder` notes
// the match's events; each call may be null.
struct NetFrameHost {
  void* context;
  Recorder* recorder;
  void (*beforeStart)(void* context);         // before the resets (the controls reloaded)
  void (*afterStart)(void* context);          // after them (the computer's reset)
  void (*shadowShown)(void* context, int p);  // p's switch changed (the window's box)
  void (*tick)(void* context, const Action action[2]);  // the frame tick with these actions, recorded
  void (*gravity)(int p);                     // p's gravity tick due by the frame count
};

// The one way an agreed frame acts, on the window and in the simulator:
// Start (the host's generator, the recorder's Start, both resets), Stop
// (when a match runs), the shadow switches, then the frame's gravity clock,
// the tick and the gravity ticks due.
void NetApplyFrame(const NetFrame& frame, const NetFrameHost& host);

// Called by the window and the simulator when a session is connected,
// before its first frame: everything a match's digest depends on made the
// same on both sides, whatever either played before (the wells cleared with
// both players out until the host's Start, the figures and the tally at 0,
// the generator's state at 0, each player's frame gravity armed at the base
// period).
void NetBeginMatchState();

// Called by the Start button, the Stop button and a Shadow box: the event
// goes with the next local input and acts on both sides at its frame. On the
// joiner, Start asks the host, whose next input carries the Start.
void NetRequestStart(NetSession& s);
void NetRequestStop(NetSession& s);
void NetRequestShadow(NetSession& s, int p, uint8_t value);

// Each event once, in order: Connected, then Resumed and Moved as they come
// (each said once however many came since the last call), then Ended.
NetEvent NetTakeEvent(NetSession& s);
NetStats NetSessionStats(const NetSession& s);
// Why the session ended ("" while it runs).
const char* NetEndText(const NetSession& s);
// The session's socket (NET_NO_SOCKET: none), for the window's wake-ups.
NetSocket NetSessionSocket(const NetSession& s);
// The peer's address as the window title writes it ("192.0.2.7",
// "[2001:db8::7]:41414"; FormatPeerAddress).
void NetPeerText(const NetSession& s, char* text, size_t size);
// The same with the port always ("192.0.2.7:41414"): a moved peer's new one.
void NetPeerAddressText(const NetSession& s, char* text, size_t size);

// ---- Ending ----------------------------------------------------------------

// Called when the program leaves (window closed, Leave): tells the peer
// (with the digest of the frames run), then NetClose.
void NetLeave(NetSession& s, uint32_t nowMs);
// Called after the last frame, until it answers true: says goodbye once the
// peer holds every input it needs, repeats it until the peer's goodbye
// comes, and compares the peer's final digest. Done: the session ended;
// NetEnd::Left with a matched digest is the only success, a goodbye that
// never came within NET_FINISH_MS ends it as Unconfirmed.
bool NetFinish(NetSession& s, uint32_t nowMs);
// Frees the socket; the session is Closed (its end and text stay).
void NetClose(NetSession& s);
