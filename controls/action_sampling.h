// Sampling a player's controls into one Action per frame tick, over the
// asynchronous key state and the player's joystick object.
#pragma once

#include <windows.h>

#include "controls/control_set.h"

// The key state source; GetAsyncKeyState by default, tests script it.
typedef SHORT (*KeyStateFn)(int virtualKey);
extern KeyStateFn keyStateSource;

// Is the key down now, by the top bit of its key state? (The bit for a press
// since the last call is not used.) The sampler and the key capture share it.
bool KeyDownNow(int32_t virtualKey);

// The Pause input is sampled as a press, not as held state: its binding
// gives one Pause at the frame it goes down and none until it is up again
// (a held Pause would otherwise toggle the pause every REPEAT_DELAY + 1
// ticks under the engine's repeat rule, which recordings keep). A key is
// followed by its code, so that one press of a key that is both players'
// Pause is one Pause, the first sampled player's; any other kind by player.
struct PauseSampling {
  bool keyDown[256];  // a Pause key seen down at its last sampling
  bool inputDown[2];  // player p's Pause button, axis or hat, likewise
};
extern PauseSampling pauseSampling;
// Every Pause input taken as up (tests; nothing else needs it).
void ResetPauseSampling();

// The computer's action for a player handed to it; otherwise polls the
// player's joystick first in joystick mode, then returns the lowest action
// whose binding is active, or NoAction; Pause counts as active only from
// its press until it is first returned (a lower action held meanwhile
// keeps it waiting).
Action SampleAction(int p);

// Is the binding active now, for player p's keys and joystick object?
bool IsBindingActive(int p, const Binding& binding);
