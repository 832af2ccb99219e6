// The pace, private to net/: the session's frame clock (frame N due at
// clockStartMs + 10 N ms) and the holds that keep both sides level.
#pragma once

#include "net/net_session_state.h"

// True when frame s.frame is due and the pace does not hold it; a hold
// moves the clock 10 ms on (`held` set).
bool FrameDue(NetSession& s, uint32_t nowMs, bool& held);
// Far behind the clock, the time past NET_MAX_LATE_FRAMES is dropped.
void DropLateFrames(NetSession& s, uint32_t nowMs);
