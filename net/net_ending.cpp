// What the program learns of a session (its events and figures) and the
// ways it ends: leaving at once, or finishing with the last frames
// compared.
#include <cstdio>

#include "net/net_link.h"
#include "replay/recording.h"

namespace {

void SayGoodbye(NetSession& s, uint32_t nowMs) {
  SendBye(s, NetReason::Left, s.frame, s.frame, DigestGameState(), nowMs);
}

}  // namespace

void NetLeave(NetSession& s, uint32_t nowMs) {
  if (s.connected && !s.byeSent) SayGoodbye(s, nowMs);
  EndSession(s, NetEnd::LeftHere, 0);
  NetClose(s);
}

bool NetFinish(NetSession& s, uint32_t nowMs) {
  if (s.finishBeganMs == 0) s.finishBeganMs = nowMs + 1;
  const bool lingering = s.phase == NetPhase::Playing || (s.phase == NetPhase::Ended && s.endReason == NetEnd::Left);
  if (!lingering) return true;  // differed, lost, or ended otherwise: said already
  // Our goodbye once the peer holds every input it needs to reach our last
  // frame, again until its own comes: a goodbye lost in full would leave
  // the frames since the last digest unchecked.
  const bool peerHasAll = s.peerAck >= s.frame || s.phase == NetPhase::Ended;
  if (peerHasAll && (!s.byeSent || nowMs - s.byeSentMs >= NET_BYE_RESEND_MS)) SayGoodbye(s, nowMs);
  if (s.phase == NetPhase::Ended && s.finalCompared && s.byeSent) return true;
  if (nowMs - (s.finishBeganMs - 1) < NET_FINISH_MS) return false;
  if (!s.byeSent) SayGoodbye(s, nowMs);
  EndSession(s, NetEnd::Unconfirmed, s.digestFrame[0]);
  return true;
}

void NetClose(NetSession& s) {
  if (s.socket != NET_NO_SOCKET) CloseUdpSocket(s.socket);
  s.socket = NET_NO_SOCKET;
  s.phase = NetPhase::Closed;
}

NetEvent NetTakeEvent(NetSession& s) {
  if (s.played && !s.connectedTold) {
    s.connectedTold = true;
    return NetEvent::Connected;
  }
  if (s.resumes != s.resumesTold) {
    s.resumesTold = s.resumes;
    return NetEvent::Resumed;
  }
  if (s.moves != s.movesTold) {
    s.movesTold = s.moves;
    return NetEvent::Moved;
  }
  // Ended once the frames the peer ran before it left have run here.
  if (s.phase == NetPhase::Ended && !NetPlaying(s) && !s.endedTold) {
    s.endedTold = true;
    return NetEvent::Ended;
  }
  return NetEvent::None;
}

NetStats NetSessionStats(const NetSession& s) {
  NetStats t{};
  t.phase = s.phase;
  t.localPlayer = s.localPlayer;
  t.delay = s.delay;
  t.rttMs = s.rttMs;
  t.rttHandshakeMs = s.rttHandshakeMs;
  t.session = s.session;
  t.frames = s.frame;
  t.digestFrame = s.digestFrame[0];
  t.waits = s.counters.waits;
  t.holds = s.counters.holds;
  t.lateFrames = s.counters.lateFrames;
  t.sent = s.counters.sent;
  t.received = s.counters.received;
  t.refusals = s.counters.refusals;
  t.sendFaults = s.counters.sendFaults;
  t.receiveFaults = s.counters.receiveFaults;
  for (int i = 0; i < static_cast<int>(NetDrop::Count); ++i) {
    t.dropped[i] = s.counters.dropped[i];
    t.droppedAll += s.counters.dropped[i];
  }
  t.endReason = s.endReason;
  t.resumes = s.resumes;
  t.lastSilenceMs = s.lastSilenceMs;
  t.lastResumeFrameMs = s.lastResumeFrameMs;
  t.moves = s.moves;
  return t;
}

const char* NetEndText(const NetSession& s) { return s.endText; }

NetSocket NetSessionSocket(const NetSession& s) { return s.socket; }

void NetPeerText(const NetSession& s, char* text, size_t size) { FormatPeerAddress(s.peer, text, size); }

void NetPeerAddressText(const NetSession& s, char* text, size_t size) { FormatAddress(s.peer, true, text, size); }
