// The session's edge, private to net/: datagrams sent through the test's
// hook or the socket, socket faults counted, and the session's ends with
// their texts. Used by every other file of the session.
#pragma once

#include "net/net_session_state.h"

void Drop(NetSession& s, NetDrop why);
// Sends d to `to` through the session's hook or socket; a run of refused
// sends ends the session (SocketFault).
void SendTo(NetSession& s, const NetAddress& to, NetDatagram& d, uint32_t nowMs);
// A Bye, three times: datagrams are lost, and no answer is awaited.
void SendBye(NetSession& s, NetReason reason, uint32_t frame, uint32_t digestFrame, uint64_t digest, uint32_t nowMs);
// Ends the session with a reason (the text made from it); the first end wins.
void EndSession(NetSession& s, NetEnd reason, uint32_t frame);
