// One player's control configuration (also the stored format), the two
// in-memory sets, the default set and the platform-free binding rules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "computer/computer_player.h"
#include "engine/game_state.h"

enum class BindingKind : int32_t { Button = 0, Axis = 1, Hat = 2, Key = 3 };

// Three little-endian int32: kind, arg1, arg2. kind is kept as a raw number
// because a stored set may hold any value; only 0 to 3 can be active.
struct Binding {
  int32_t kind;
  int32_t arg1;
  int32_t arg2;
};
static_assert(sizeof(Binding) == 12, "Binding is a stored format");

struct ControlSet {
  uint8_t keyboardMode;   // 0: joystick; COMPUTER_MODE: the computer; else keyboard
  uint8_t reserved[3];    // travels with the set as loaded; [0]: the computer's level
  uint8_t deviceGuid[16]; // instance GUID in the platform's memory layout
  Binding bindings[8];    // Action order 0 to 7
};
static_assert(sizeof(ControlSet) == 116, "ControlSet is a stored format");
static_assert(offsetof(ControlSet, deviceGuid) == 4, "deviceGuid offset");
static_assert(offsetof(ControlSet, bindings) == 20, "bindings offset");

// The keyboardMode that hands the player to the computer. Any other nonzero
// value is keyboard mode (as an older build also reads a stored 2).
constexpr uint8_t COMPUTER_MODE = 2;

// The reserved byte that holds a computer set's level (1 to 5); a set
// stored before there were levels has 0 there.
constexpr size_t COMPUTER_LEVEL_BYTE = 0;

// The level a computer set plays: its level byte when 1 to 5, otherwise 5,
// so that a set stored before the levels plays as it always did.
int32_t ComputerLevelOf(const ControlSet& set);

// Both players' sets, player 0 first, contiguous: the "Controls" image.
extern ControlSet controls[2];
static_assert(sizeof(ControlSet[2]) == 232, "Controls image");

// Virtual-key codes: a letter's code is its upper-case character; Delete
// and Space are the platform's VK_DELETE and VK_SPACE (checked against the
// platform's names where its header is at hand, action_sampling.cpp).
constexpr int32_t KEY_DELETE = 0x2E;
constexpr int32_t KEY_SPACE = 0x20;

// Default keys for actions 0 to 7: S, A, D, Q, W, F, Delete, Space.
extern const int32_t DEFAULT_KEYS[8];

// Zero both sets, then keyboard mode with the default keys for both players.
void SetDefaultControls();

// What one player's inputs read at the moment of a test. The Windows layer
// fills it from the asynchronous key state and the player's joystick object.
struct InputReadings {
  bool (*keyDown)(int32_t virtualKey);  // only called with codes 0..255
  const uint8_t* buttons;               // 256 pressed flags
  int32_t axes[8];                      // axis readings, 0 = at rest
  int32_t hats[4];                      // hat readings, -1 = centred
};

// The activity rule of one binding, free of any platform: kinds outside 0 to
// 3 are never active; button numbers wrap modulo 256 (negative: never);
// axis sign by arg1; hats by exact reading, never at -1 (centred); keys
// outside 0..255 never.
bool BindingIsActive(const Binding& binding, const InputReadings& in);

// The lowest action whose binding is active, or NoAction.
Action FirstActiveAction(const ControlSet& set, const InputReadings& in);
