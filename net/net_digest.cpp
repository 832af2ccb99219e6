// The digest check: ours taken every NET_DIGEST_FRAMES frames, the peer's
// compared with ours of the same frame count, the goodbye's at the end.
#include "net/net_digest.h"

#include "net/net_link.h"
#include "replay/recording.h"

namespace {

void Differ(NetSession& s, uint32_t frame, uint32_t nowMs) {
  if (!s.byeSent) SendBye(s, NetReason::Differ, frame, 0, 0, nowMs);
  EndSession(s, NetEnd::Differ, frame);
}

}  // namespace

// Compared when ours is held, kept when this side has not got there yet,
// else too old to matter.
void TakePeerDigest(NetSession& s, uint32_t frame, uint64_t digest, uint32_t nowMs) {
  for (int i = 0; i < 2; ++i) {
    if (s.digestFrame[i] == frame) {
      if (s.digest[i] != digest) Differ(s, frame, nowMs);
      return;
    }
  }
  if (frame > s.frame) {
    s.peerDigestFrame = frame;
    s.peerDigest = digest;
  }
}

void TakeFinalDigest(NetSession& s, uint32_t frame, uint64_t digest) {
  if (frame == 0) return;
  if (frame == s.frame) {
    if (DigestGameState() != digest) {
      EndSession(s, NetEnd::Differ, frame);
    } else {
      s.finalCompared = true;
    }
  } else if (frame > s.frame) {
    s.peerDigestFrame = frame;
    s.peerDigest = digest;
  }
}

void DigestFrameDone(NetSession& s, uint32_t nowMs) {
  const bool regular = s.frame % NET_DIGEST_FRAMES == 0;
  const bool pending = s.peerDigestFrame == s.frame && s.frame != 0;
  if (!regular && !pending) return;
  const uint64_t digest = DigestGameState();
  if (regular) {
    s.digestFrame[1] = s.digestFrame[0];
    s.digest[1] = s.digest[0];
    s.digestFrame[0] = s.frame;
    s.digest[0] = digest;
  }
  if (pending) {
    s.peerDigestFrame = 0;
    if (s.peerDigest != digest) {
      Differ(s, s.frame, nowMs);
    } else if (s.byeReceived && s.frame == s.byeFrame) {
      s.finalCompared = true;
    }
  }
}
