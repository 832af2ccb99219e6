// The digest check, private to net/: both sides' digests of the match
// state, every NET_DIGEST_FRAMES frames and at the goodbye, compared.
#pragma once

#include "net/net_session_state.h"

// The peer's digest of `frame` frames (from a Play) against ours.
void TakePeerDigest(NetSession& s, uint32_t frame, uint64_t digest, uint32_t nowMs);
// The peer's goodbye digest: compared now or when this side gets there.
void TakeFinalDigest(NetSession& s, uint32_t frame, uint64_t digest);
// After each frame: the regular digest taken, a pending one compared.
void DigestFrameDone(NetSession& s, uint32_t nowMs);
