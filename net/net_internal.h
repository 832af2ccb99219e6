// Helpers shared by the session's files, not for other folders.
#pragma once

#include "net/net_session.h"

// Sends d to the peer (or `to`) through the session's hook or socket.
void SendTo(NetSession& s, const NetAddress& to, NetDatagram& d, uint32_t nowMs);
// A Play with the unacknowledged inputs, the acknowledgement, times, digest.
void SendPlay(NetSession& s, uint32_t nowMs);
// A Bye, three times: datagrams are lost, and no answer is awaited.
void SendBye(NetSession& s, NetReason reason, uint32_t frame, uint32_t digestFrame, uint64_t digest, uint32_t nowMs);
// Ends the session with a reason (the text made from it); the first end wins.
void EndSession(NetSession& s, NetEnd reason, uint32_t frame);
// The lockstep's share of a Play from the peer (inputs, ack, digest, pace);
// false when it is dropped (the counter is already counted).
bool TakePlay(NetSession& s, const NetDatagram& d, uint32_t nowMs);
// The lockstep's share of a Bye: a final digest to compare.
void TakeFinalDigest(NetSession& s, uint32_t frame, uint64_t digest);
// Resets the lockstep for a new match of frames (delay chosen).
void BeginLockstep(NetSession& s);
