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

// The computer's action for a player handed to it; otherwise polls the
// player's joystick first in joystick mode, then returns the lowest action
// whose binding is active, or NoAction.
Action SampleAction(int p);

// Is the binding active now, for player p's keys and joystick object?
bool IsBindingActive(int p, const Binding& binding);
