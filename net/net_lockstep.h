// The lockstep, private to net/: local inputs sent ahead by the delay, the
// peer's gathered in a ring, and frames handed out when both are there.
#pragma once

#include "net/net_session_state.h"

// Resets the lockstep for a new match of frames (delay chosen).
void BeginLockstep(NetSession& s, uint32_t nowMs);
// A Play with the unacknowledged inputs, the acknowledgement, times, digest.
void SendPlay(NetSession& s, uint32_t nowMs);
// The lockstep's share of a Play from the peer (inputs, ack, digest, pace);
// false when it is dropped (the counter is already counted).
bool TakePlay(NetSession& s, const NetDatagram& d, uint32_t nowMs);
// True when the session wants the local input for frame + delay now.
bool WantsLocal(const NetSession& s);
// The own player's action sampled now, with the events asked for since.
void SubmitLocal(NetSession& s, Action action, uint32_t nowMs);
// Both inputs of the next frame are here.
bool FrameReady(const NetSession& s);
// The next frame's actions and events; false when it must wait.
bool NextFrame(NetSession& s, NetFrame& out, uint32_t nowMs);
