// The path's proofs, private to net/: a peer whose datagrams come from a new
// address (a NAT that gave a new port, a laptop on another network) is
// followed only once it proves the session from there. A datagram of the
// session from elsewhere earns that address a Check with a random number;
// the Proof must come back from that address with the number under the
// path's key, which both sides drew at the start (the Join's secret and the
// Welcome's, and an invite's room token). A Check is answered only when it
// comes from the peer's own address, so that nobody can have one side prove
// a stranger's address for it. Checks and Proofs are no longer than the
// datagrams that earn them, and limited in number.
#pragma once

#include "net/net_session_state.h"

// The key, once both secrets are known (the host's greeting taken, the
// joiner's Welcome).
void SetPathKey(NetSession& s, uint64_t hostSecret, uint64_t joinerSecret);
// A datagram of this session (its number) from `from`, not the peer's
// address: dropped, and a Check goes there unless one went lately.
void CheckNewAddress(NetSession& s, const NetAddress& from, uint32_t nowMs);
// A Check from the peer's address: the Proof goes back.
void TakeCheck(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs);
// A Proof: from an address under check, with its number and the key's tag,
// the peer is there from now on.
void TakeProof(NetSession& s, const NetAddress& from, const NetDatagram& d);
