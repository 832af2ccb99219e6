// The session's record, private to net/: the program and the tests see it
// only through net_session.h. The files that work on it, in layers:
//   net_link     sending through the hook or the socket, the faults, the ends,
//                whether frames can run (NetPlaying);
//   net_digest   digests taken and compared;
//   net_lockstep the input rings and the frames handed out;
//   net_pace     the frame clock and the holds;
//   net_frames   the frame runner and the frame's application;
//   net_path     the path's proofs: a peer heard from a new address checked
//                and followed, the relay taken;
//   net_session  the peer protocol: hosting, joining, every datagram's route,
//                the wait on a silent peer;
//   net_start    the starts: the secrets drawn, the socket opened;
//   net_ending   the events, the stats and the ends the program asks for.
// Each uses only the layers above it (net_read, the receive loop, sits on
// the socket layer and knows no session).
#pragma once

#include <cstdint>

#include "net/net_session.h"

struct NetCounters {
  uint64_t received;        // datagrams read from the socket or given to NetReceive
  uint64_t sent;
  uint64_t sendFaults;      // sends the system refused
  uint32_t receiveFaults;   // system faults while receiving
  uint64_t dropped[static_cast<int>(NetDrop::Count)];
  uint64_t refusals;        // Refuse datagrams sent to strangers
  uint32_t holds;           // frames held back to let the other side catch up
  uint32_t waits;           // frames that were due and had to wait for the peer
  uint32_t lateFrames;      // frames' time dropped past NET_MAX_LATE_FRAMES
};

// A joiner greeted while the host waits: each Join is welcomed, and the
// first greeted joiner whose Play (with the session's number) comes is the
// peer, so that neither a stray Join nor a stranger who only Joins keeps the
// real joiner out.
constexpr int32_t NET_GREETINGS = 4;
struct NetGreeting {
  NetAddress from;
  uint32_t nonce;
  uint64_t secret;   // the joiner's half of the path's key, from its Join
  uint32_t lastJoinMs;
  uint16_t format;
  char version[NET_VERSION_BYTES + 1];
  bool used;
};

// An address the peer's datagrams came from that is not the peer's: a Check
// went there, and its Proof (from there, with the check's number under the
// path's key) moves the session to it.
constexpr int32_t NET_CANDIDATES = 4;
struct NetCandidate {
  NetAddress from;
  uint64_t challenge;  // drawn from the system's generator
  uint32_t sentMs;     // the latest Check
  bool used;
};

struct NetSession {
  NetPhase phase;
  bool host;                 // true: player 0, hosting; false: player 1, joined
  int32_t localPlayer;       // 0 or 1
  NetOptions options;
  NetSocket socket = NET_NO_SOCKET;  // none when fed by hand (tests)
  NetSendHook send;          // null: SendDatagram on `socket`
  void* sendContext;
  NetAddress peer;           // joiner: the host; host: the joiner once accepted
  NetAddress orElse;         // joiner: the host's other address, Joined too until one answers
  bool orElseOn;
  uint32_t session;          // the host's random number for this match
  uint32_t nonce;            // the joiner's random number for its Join
  uint32_t random;           // the host's generator choices (xorshift state)
  uint8_t delay;             // the input delay in frames, fixed at the handshake
  uint32_t beganMs;          // NetHost / NetJoin
  uint32_t lastHeardMs;      // the peer's last datagram accepted
  NetGreeting greetings[NET_GREETINGS];  // host, before a peer: the joiners welcomed
  bool callerReads;          // begun on the caller's socket: NetPoll leaves the reading to it
  uint32_t lastSentMs;
  uint32_t joinSentMs;       // joiner: the last Join sent
  uint32_t rttMs;            // the latest round trip measured
  uint32_t rttHandshakeMs;   // the round trip the delay was chosen from (their mean)
  int32_t rttSamples;        // joiner: Welcomes answered so far, and their round trips
  uint32_t rttSumMs;
  uint32_t firstWelcomeMs;
  uint32_t clockStartMs;     // when local frame 0 is due: frame N at + 10 N ms
  uint32_t lastProgressMs;   // the latest frame handed out (or the lockstep's start)
  char peerVersion[NET_VERSION_BYTES + 1];
  uint16_t peerFormat;

  // The lockstep. Frames below `delay` have no inputs (both hold nothing).
  uint32_t frame;            // the next frame to run (frames run so far)
  uint32_t localNext;        // the frame the next local input is for
  uint32_t remoteNext;       // the first frame whose remote input is missing
  uint32_t peerAck;          // the first frame of our input the peer lacks
  uint32_t waitedFrame;      // the frame counted last in `waits`, + 1
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
  bool finalCompared;        // the peer's goodbye digest matched ours at its frame

  // Round trip and pace.
  uint32_t echoTime;         // the peer's latest `time`, and when it came
  uint32_t echoReceivedMs;
  int32_t advantage16;       // smoothed: how far our frame runs ahead of the peer's, as seen here
  int32_t peerAdvantage16;   // the same, as the peer sees it
  uint32_t lastHoldFrame;
  uint32_t refuseWindowMs;   // Refuse datagrams are limited to 10 per 100 ms
  uint32_t refusalsInWindow;
  int32_t sendFaultRun;      // sends refused in a row
  int32_t receiveFaultRun;   // polls in a row that met a receive fault and read nothing
  bool connected;            // a peer was accepted: Bye can be told
  bool played;               // the lockstep began: frames ran or could
  bool connectedTold;        // NetTakeEvent said Connected
  bool endedTold;            // NetTakeEvent said Ended
  bool byeSent;
  uint32_t byeSentMs;
  bool byeReceived;
  uint32_t byeFrame;         // the frames the peer ran before its goodbye
  uint32_t byeReceivedMs;
  bool tailOver;             // the peer left and its last frames ran or will not come
  uint32_t finishBeganMs;    // NetFinish's first call (0: not yet), + 1

  // The wait on a silent peer and its end.
  uint32_t resumeHeardMs;      // the peer heard again after a wait, + 1, until the next frame (0: none)
  uint32_t lastSilenceMs;      // the latest wait's length
  uint32_t lastResumeFrameMs;  // ... and from the peer's return to the next frame
  uint32_t resumes, resumesTold;

  // The path's key: the host's and the joiner's secrets from Welcome and Join
  // (and an invite's room token), and the peer's new addresses under check.
  uint64_t ownSecret;
  uint64_t pathToken;          // an invite's room token (NetSetPathToken); 0: none
  uint64_t pathKey[2];
  NetCandidate candidates[NET_CANDIDATES];
  uint32_t checkWindowMs;      // Checks and Proofs sent are limited to 10 per 100 ms
  uint32_t checksInWindow;
  bool relayed;                // the path is the relay's (NetUseRelay): it moves no more
  uint32_t moves, movesTold;

  NetCounters counters;
  NetEnd endReason;
  uint32_t endFrame;         // Differ: the frame count the digests differ at
  char endText[192];
};
