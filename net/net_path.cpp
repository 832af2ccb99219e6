// The path's proofs (see net_path.h), the relay taken, and the figures of a
// wait on a silent peer.
#include "net/net_path.h"

#include "net/keyed_hash.h"
#include "net/net_link.h"

namespace {

constexpr uint32_t CHECK_RESEND_MS = 100;      // an address under check gets a Check this often at most
constexpr uint32_t CANDIDATE_MS = 1000;        // ... and is forgotten this long after its last
constexpr uint32_t CHECK_WINDOW_MS = 100;      // Checks and Proofs sent, in all, per window
constexpr uint32_t CHECKS_PER_WINDOW = 10;
constexpr uint64_t PROOF_WORD = 0x666f6f7250544201ull;  // sets the proof's hash apart from any other use of the key

uint64_t ProofTag(const NetSession& s, int32_t prover, uint64_t challenge) {
  return KeyedHash(s.pathKey, s.session | static_cast<uint64_t>(prover) << 32, challenge, PROOF_WORD);
}

bool MaySend(NetSession& s, uint32_t nowMs) {
  if (nowMs - s.checkWindowMs >= CHECK_WINDOW_MS) {
    s.checkWindowMs = nowMs;
    s.checksInWindow = 0;
  }
  if (s.checksInWindow >= CHECKS_PER_WINDOW) return false;
  s.checksInWindow += 1;
  return true;
}

void SendPathDatagram(NetSession& s, NetKind kind, const NetAddress& to, uint64_t challenge, uint64_t tag,
                      uint32_t nowMs) {
  NetDatagram d;
  d.kind = kind;
  d.format = NET_FORMAT;
  d.session = s.session;
  d.challenge = challenge;
  d.tag = tag;
  SendTo(s, to, d, nowMs);
}

}  // namespace

void SetPathKey(NetSession& s, uint64_t hostSecret, uint64_t joinerSecret) {
  s.pathKey[0] = hostSecret;
  s.pathKey[1] = joinerSecret ^ s.pathToken;
}

void CheckNewAddress(NetSession& s, const NetAddress& from, uint32_t nowMs) {
  if (!s.connected || s.relayed || s.phase != NetPhase::Playing) {
    Drop(s, NetDrop::Stranger);
    return;
  }
  Drop(s, NetDrop::Unproven);
  NetCandidate* slot = nullptr;
  for (NetCandidate& c : s.candidates) {
    if (c.used && SameAddress(c.from, from)) {
      slot = &c;
      break;
    }
    if ((!c.used || nowMs - c.sentMs >= CANDIDATE_MS) && slot == nullptr) slot = &c;
  }
  if (slot == nullptr) return;  // every slot is under check: a flood from many addresses waits
  const bool known = slot->used && SameAddress(slot->from, from);
  if (known && nowMs - slot->sentMs < CHECK_RESEND_MS) return;
  if (!MaySend(s, nowMs)) return;
  if (!known) {
    uint64_t challenge;
    if (!SecureRandom(&challenge, sizeof challenge)) return;
    *slot = NetCandidate{from, challenge, nowMs, true};
  }
  slot->sentMs = nowMs;
  SendPathDatagram(s, NetKind::Check, from, slot->challenge, 0, nowMs);
}

void TakeCheck(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs) {
  if (s.phase != NetPhase::Playing || s.relayed) {
    Drop(s, NetDrop::Unexpected);
    return;
  }
  if (MaySend(s, nowMs)) SendPathDatagram(s, NetKind::Proof, from, d.challenge, ProofTag(s, s.localPlayer, d.challenge), nowMs);
}

void TakeProof(NetSession& s, const NetAddress& from, const NetDatagram& d) {
  for (NetCandidate& c : s.candidates) {
    if (!c.used || !SameAddress(c.from, from) || c.challenge != d.challenge) continue;
    if (d.tag != ProofTag(s, 1 - s.localPlayer, d.challenge)) break;
    s.peer = from;
    s.moves += 1;
    for (NetCandidate& other : s.candidates) other = NetCandidate{};
    return;
  }
  Drop(s, NetDrop::Unproven);
}

void NetSetPathToken(NetSession& s, uint64_t token) { s.pathToken = token; }

void NetUseRelay(NetSession& s, const NetAddress& relay, NetSendHook send, void* context) {
  s.peer = relay;
  s.send = send;
  s.sendContext = context;
  s.relayed = true;
  for (NetCandidate& c : s.candidates) c = NetCandidate{};
}

uint32_t NetSilentMs(const NetSession& s, uint32_t nowMs) {
  return s.phase == NetPhase::Playing && s.played ? nowMs - s.lastHeardMs : 0;
}

uint32_t NetWaitingSeconds(const NetSession& s, uint32_t nowMs) {
  const uint32_t silent = NetSilentMs(s, nowMs);
  if (silent < NET_WAIT_SHOWN_MS) return 0;
  if (silent >= NET_SILENCE_MS) return 1;
  return (NET_SILENCE_MS - silent + 999) / 1000;
}
