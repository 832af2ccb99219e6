// The host's greetings: every joiner welcomed (the first to Play taken),
// a stranger's Join refused within a limit, and the greetings of another
// format. Part of the peer protocol (net_session.cpp routes to these).
#include "net/net_greeting.h"

#include <cstdio>
#include <cstring>

#include "net/net_path.h"

void FillGreeting(const NetSession& s, NetDatagram& d, NetKind kind) {
  d.kind = kind;
  d.format = s.options.format;
  std::snprintf(d.version, sizeof d.version, "%s", s.options.version);
}

namespace {

constexpr uint32_t REFUSALS_PER_WINDOW = 10;
constexpr uint32_t REFUSE_WINDOW_MS = 100;

void SendWelcome(NetSession& s, const NetAddress& to, uint32_t nonce, uint32_t joinTime, uint32_t nowMs) {
  NetDatagram d{};
  FillGreeting(s, d, NetKind::Welcome);
  d.nonce = nonce;
  d.session = s.session;
  d.time = nowMs;
  d.echo = joinTime;
  d.delay = s.options.forcedDelay;
  d.secret = s.ownSecret;
  SendTo(s, to, d, nowMs);
}

bool Live(const NetGreeting& g, uint32_t nowMs) { return g.used && nowMs - g.lastJoinMs < NET_GREETING_MS; }

// A stranger's Join while the port is taken; limited, so that a flood of
// Joins cannot make this side flood in turn.
void Refuse(NetSession& s, const NetAddress& to, uint32_t nonce, NetReason reason, uint32_t nowMs) {
  if (nowMs - s.refuseWindowMs >= REFUSE_WINDOW_MS) {
    s.refuseWindowMs = nowMs;
    s.refusalsInWindow = 0;
  }
  if (s.refusalsInWindow >= REFUSALS_PER_WINDOW) return;
  s.refusalsInWindow += 1;
  NetDatagram d{};
  FillGreeting(s, d, NetKind::Refuse);
  d.nonce = nonce;
  d.reason = reason;
  s.counters.refusals += 1;
  SendTo(s, to, d, nowMs);
}

}  // namespace

void CopyVersion(NetSession& s, const NetDatagram& d) {
  std::memcpy(s.peerVersion, d.version, sizeof s.peerVersion);
  s.peerFormat = d.format;
}

namespace {

// Greeting: every joiner's Join is welcomed (a repeated one too: it was
// lost, or the joiner measures the round trip), while a slot is free or its
// joiner has been silent for NET_GREETING_MS. A joiner that finds every slot
// taken repeats its Join until one frees.
bool Greet(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs) {
  NetGreeting* slot = nullptr;
  for (NetGreeting& g : s.greetings) {
    if (g.used && SameAddress(g.from, from)) {
      slot = &g;
      break;
    }
    if (!Live(g, nowMs) && slot == nullptr) slot = &g;
  }
  if (slot == nullptr) return false;
  if (!slot->used || !SameAddress(slot->from, from) || slot->nonce != d.nonce) {
    // A new one must not make the port answer a flood of spoofed Joins.
    if (nowMs - s.refuseWindowMs >= REFUSE_WINDOW_MS) {
      s.refuseWindowMs = nowMs;
      s.refusalsInWindow = 0;
    }
    if (s.refusalsInWindow >= REFUSALS_PER_WINDOW) return false;
    s.refusalsInWindow += 1;
    *slot = NetGreeting{from, d.nonce, d.secret, nowMs, d.format, {}, true};
    std::memcpy(slot->version, d.version, sizeof slot->version);
  }
  slot->lastJoinMs = nowMs;
  s.phase = NetPhase::Greeting;
  SendWelcome(s, from, d.nonce, d.time, nowMs);
  return true;
}

}  // namespace

// The first Play of a greeted joiner: it is the peer.
bool TakeGreeted(NetSession& s, const NetAddress& from, uint32_t nowMs) {
  for (const NetGreeting& g : s.greetings) {
    if (!Live(g, nowMs) || !SameAddress(g.from, from)) continue;
    s.peer = from;
    s.nonce = g.nonce;
    std::memcpy(s.peerVersion, g.version, sizeof s.peerVersion);
    s.peerFormat = g.format;
    SetPathKey(s, s.ownSecret, g.secret);
    s.connected = true;
    s.lastHeardMs = nowMs;
    for (NetGreeting& other : s.greetings) other = NetGreeting{};
    return true;
  }
  return false;
}

void TakeJoin(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs) {
  if (s.phase == NetPhase::Hosting || s.phase == NetPhase::Greeting) {
    if (!Greet(s, from, d, nowMs)) Drop(s, NetDrop::Stranger);
    return;
  }
  const bool busy = s.phase == NetPhase::Playing;
  if (busy && SameAddress(from, s.peer) && d.nonce == s.nonce) return;  // a Join repeated, crossing the Play
  if (busy && d.nonce == s.nonce) {
    // The same joiner by its other family: it keeps the address answered.
    Drop(s, NetDrop::Stranger);
    return;
  }
  if (busy) {
    Drop(s, NetDrop::Stranger);
    Refuse(s, from, d.nonce, NetReason::Busy, nowMs);
    return;
  }
  Drop(s, NetDrop::Unexpected);
}


// Another format: the host refuses a Join naming both versions and waits on
// (anybody may send anything to its port); the joiner ends on its host's
// answer, naming both; anything else is dropped.
void TakeOtherFormat(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs) {
  Drop(s, NetDrop::OtherFormat);
  if (d.kind == NetKind::Join && (s.phase == NetPhase::Hosting || s.phase == NetPhase::Greeting)) {
    Refuse(s, from, d.nonce, NetReason::Format, nowMs);
  } else if (d.kind == NetKind::Join && s.phase == NetPhase::Playing) {
    Refuse(s, from, d.nonce, NetReason::Busy, nowMs);
  } else if ((d.kind == NetKind::Refuse || d.kind == NetKind::Welcome) && s.phase == NetPhase::Joining &&
             SameAddress(from, s.peer) && d.nonce == s.nonce) {
    CopyVersion(s, d);
    EndSession(s, NetEnd::Format, 0);
  }
}

void ServeGreetings(NetSession& s, uint32_t nowMs) {
  // Joins without a Play (stray datagrams, joiners that gave up): the port
  // waits for the real one again.
  bool live = false;
  for (const NetGreeting& g : s.greetings) live = live || Live(g, nowMs);
  if (!live) s.phase = NetPhase::Hosting;
}
