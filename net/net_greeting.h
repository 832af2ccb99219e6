// The host's greetings, private to net/ (net_greeting.cpp): the Joins
// welcomed, the first greeted joiner's Play taken, strangers and other
// formats refused.
#pragma once

#include "net/net_link.h"

// A Join, Welcome or Refuse with this program's format and version.
void FillGreeting(const NetSession& s, NetDatagram& d, NetKind kind);
void CopyVersion(NetSession& s, const NetDatagram& d);
// Any Join: greeted while hosting, refused (busy) while playing.
void TakeJoin(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs);
// The first Play of a greeted joiner from `from`: it is the peer (false: none).
bool TakeGreeted(NetSession& s, const NetAddress& from, uint32_t nowMs);
// A greeting of another format: refused, or the joiner's end naming both.
void TakeOtherFormat(NetSession& s, const NetAddress& from, const NetDatagram& d, uint32_t nowMs);
// Greeting, with no joiner's Join lately: back to hosting.
void ServeGreetings(NetSession& s, uint32_t nowMs);
