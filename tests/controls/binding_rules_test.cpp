// The platform-free binding rules: defaults, each kind by its own rule,
// stored numbers no dialog captures, and a randomized sweep over raw sets.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "controls/control_set.h"

namespace {

bool keysDown[256];
int keyQueries;
int32_t lastKeyQueried;

bool ScriptedKey(int32_t vk) {
  ++keyQueries;
  lastKeyQueried = vk;
  // Out-of-range codes must never get here; index would be out of bounds.
  EXPECT_TRUE(vk >= 0 && vk <= 255) << "key code " << vk;
  return vk >= 0 && vk <= 255 && keysDown[vk];
}

struct Readings {
  uint8_t buttons[256];
  InputReadings in;
  Readings() {
    std::memset(buttons, 0, sizeof buttons);
    std::memset(keysDown, 0, sizeof keysDown);
    keyQueries = 0;
    in.keyDown = ScriptedKey;
    in.buttons = buttons;
    for (int32_t& a : in.axes) a = 0;
    for (int32_t& h : in.hats) h = -1;
  }
};

Binding Make(int32_t kind, int32_t arg1, int32_t arg2) { return Binding{kind, arg1, arg2}; }

}  // namespace

TEST(ControlSet, DefaultsAreWholeRecordsForBothPlayers) {
  std::memset(controls, 0xbd, sizeof controls);
  SetDefaultControls();
  const int32_t keys[8] = {'S', 'A', 'D', 'Q', 'W', 'F', 0x2E, 0x20};
  for (int p = 0; p < 2; ++p) {
    EXPECT_EQ(1, controls[p].keyboardMode) << "player " << p;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(0, controls[p].reserved[i]) << "player " << p;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(0, controls[p].deviceGuid[i]) << "player " << p;
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(3, controls[p].bindings[i].kind) << "player " << p << " action " << i;
      EXPECT_EQ(0, controls[p].bindings[i].arg1) << "player " << p << " action " << i;
      EXPECT_EQ(keys[i], controls[p].bindings[i].arg2) << "player " << p << " action " << i;
    }
  }
  // Byte image: both records identical, little-endian kind 3 at offset 20.
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(controls);
  EXPECT_EQ(0, std::memcmp(bytes, bytes + 116, 116));
  EXPECT_EQ(3, bytes[20]);
  EXPECT_EQ(0x53, bytes[28]);
}

TEST(BindingRules, EachKindByItsOwnRule) {
  Readings r;
  // Button: the flag of the number, large numbers wrap, negative never.
  r.buttons[5] = 1;
  EXPECT_TRUE(BindingIsActive(Make(0, 0, 5), r.in));
  EXPECT_TRUE(BindingIsActive(Make(0, 77, 5), r.in)) << "arg1 of a button is not read";
  EXPECT_TRUE(BindingIsActive(Make(0, 0, 5 + 256), r.in));
  EXPECT_TRUE(BindingIsActive(Make(0, 0, 5 + 256 * 1000), r.in));
  EXPECT_FALSE(BindingIsActive(Make(0, 0, 4), r.in));
  r.buttons[255] = 1;
  EXPECT_TRUE(BindingIsActive(Make(0, 0, 255), r.in));
  EXPECT_TRUE(BindingIsActive(Make(0, 0, INT32_MAX), r.in)) << "INT32_MAX % 256 == 255";
  r.buttons[0] = 1;
  EXPECT_FALSE(BindingIsActive(Make(0, 0, -256), r.in)) << "negative wraps onto 0 otherwise";
  EXPECT_FALSE(BindingIsActive(Make(0, 0, -1), r.in));
  EXPECT_FALSE(BindingIsActive(Make(0, 0, INT32_MIN), r.in));

  // Axis: sign by arg1, exactly 0 never, numbers outside 0..7 read 0.
  r.in.axes[3] = 1;
  EXPECT_TRUE(BindingIsActive(Make(1, 1, 3), r.in));
  EXPECT_TRUE(BindingIsActive(Make(1, -7, 3), r.in)) << "any nonzero arg1 is positive";
  EXPECT_FALSE(BindingIsActive(Make(1, 0, 3), r.in));
  r.in.axes[3] = -10000;
  EXPECT_FALSE(BindingIsActive(Make(1, 1, 3), r.in));
  EXPECT_TRUE(BindingIsActive(Make(1, 0, 3), r.in));
  r.in.axes[3] = 0;
  EXPECT_FALSE(BindingIsActive(Make(1, 1, 3), r.in));
  EXPECT_FALSE(BindingIsActive(Make(1, 0, 3), r.in));
  for (int32_t& a : r.in.axes) a = -5;
  EXPECT_FALSE(BindingIsActive(Make(1, 0, 8), r.in));
  EXPECT_FALSE(BindingIsActive(Make(1, 0, -1), r.in));
  EXPECT_TRUE(BindingIsActive(Make(1, 0, 7), r.in));

  // Hat: the exact reading only; numbers outside 0..3 read centred, and
  // centred (-1) is no direction: never active, whatever the hats read.
  r.in.hats[2] = 4500;
  EXPECT_TRUE(BindingIsActive(Make(2, 4500, 2), r.in));
  EXPECT_FALSE(BindingIsActive(Make(2, 0, 2), r.in));
  EXPECT_FALSE(BindingIsActive(Make(2, 9000, 2), r.in));
  r.in.hats[2] = 0;
  EXPECT_FALSE(BindingIsActive(Make(2, 4500, 2), r.in));
  EXPECT_TRUE(BindingIsActive(Make(2, 0, 2), r.in)) << "up is 0, a real reading";
  for (int32_t& h : r.in.hats) h = 0;
  EXPECT_FALSE(BindingIsActive(Make(2, 0, 4), r.in));
  EXPECT_FALSE(BindingIsActive(Make(2, -1, 4), r.in));
  EXPECT_FALSE(BindingIsActive(Make(2, -1, -3), r.in));
  for (int32_t& h : r.in.hats) h = -1;
  EXPECT_FALSE(BindingIsActive(Make(2, -1, 0), r.in));

  // Key: the scripted state of the code; codes outside 0..255 never asked.
  keysDown['S'] = true;
  EXPECT_TRUE(BindingIsActive(Make(3, 99, 'S'), r.in));
  EXPECT_FALSE(BindingIsActive(Make(3, 0, 'A'), r.in));
  keyQueries = 0;
  EXPECT_FALSE(BindingIsActive(Make(3, 0, 'S' + 256), r.in));
  EXPECT_FALSE(BindingIsActive(Make(3, 0, -1), r.in));
  EXPECT_EQ(0, keyQueries) << "key codes outside 0..255 reached the key state";

  // Other kinds: never, whatever is held.
  for (int32_t& a : r.in.axes) a = 1;
  std::memset(r.buttons, 1, sizeof r.buttons);
  std::memset(keysDown, 1, sizeof keysDown);
  for (int32_t kind : {4, 5, -1, 0x37, INT32_MIN, INT32_MAX}) {
    for (int32_t arg : {-1, 0, 1, 5}) {
      EXPECT_FALSE(BindingIsActive(Make(kind, arg, arg), r.in)) << "kind " << kind << " arg " << arg;
      EXPECT_FALSE(BindingIsActive(Make(kind, -1, arg), r.in)) << "kind " << kind << " arg " << arg;
    }
  }
}

TEST(BindingRules, LowestActiveActionWins) {
  Readings r;
  SetDefaultControls();
  EXPECT_EQ(Action::NoAction, FirstActiveAction(controls[0], r.in));
  // Every pair of held keys: the lower action wins.
  for (int lo = 0; lo < 8; ++lo) {
    for (int hi = lo; hi < 8; ++hi) {
      std::memset(keysDown, 0, sizeof keysDown);
      keysDown[DEFAULT_KEYS[lo]] = keysDown[DEFAULT_KEYS[hi]] = true;
      EXPECT_EQ(static_cast<Action>(lo), FirstActiveAction(controls[1], r.in))
          << "actions " << lo << " and " << hi;
    }
  }
  // A keyboard-mode set still tests a button binding by its kind; the
  // all-zero set binds button 0 to every action.
  ControlSet set = controls[0];
  set.bindings[2] = Make(0, 0, 9);
  std::memset(keysDown, 0, sizeof keysDown);
  r.buttons[9] = 1;
  EXPECT_EQ(Action::Right, FirstActiveAction(set, r.in));
  std::memset(&set, 0, sizeof set);
  EXPECT_EQ(Action::NoAction, FirstActiveAction(set, r.in));
  r.buttons[0] = 1;
  EXPECT_EQ(Action::SpeedUp, FirstActiveAction(set, r.in));
}

// Raw random records, as a broken stored value could hold them, against
// random readings: nothing reads out of bounds (the flags live in a heap
// block of exactly 256 bytes, so the sanitizers see any overrun), and the
// result is the first binding that the rule calls active.
TEST(BindingRules, RandomRecordsAndReadings) {
  std::mt19937 rng(20240611);
  std::vector<uint8_t> flags(256);
  std::uniform_int_distribution<int> byte(0, 255);
  const int32_t interesting[] = {0, 1, -1, 3, 4, 7, 8, 255, 256, -256, 4500, 9000, INT32_MIN, INT32_MAX};
  for (int round = 0; round < 20000; ++round) {
    ControlSet set;
    uint8_t* raw = reinterpret_cast<uint8_t*>(&set);
    for (size_t i = 0; i < sizeof set; ++i) raw[i] = static_cast<uint8_t>(byte(rng));
    // Half the fields from numbers near the edges, so that valid kinds and
    // small indices occur often enough to matter.
    for (Binding& b : set.bindings) {
      if (rng() & 1) b.kind = static_cast<int32_t>(rng() % 6) - 1;
      if (rng() & 1) b.arg1 = interesting[rng() % 14];
      if (rng() & 1) b.arg2 = interesting[rng() % 14];
    }
    for (uint8_t& f : flags) f = (rng() % 4 == 0) ? 1 : 0;
    for (bool& k : keysDown) k = (rng() % 4 == 0);
    InputReadings in;
    in.keyDown = ScriptedKey;
    in.buttons = flags.data();
    for (int32_t& a : in.axes) a = interesting[rng() % 14];
    for (int32_t& h : in.hats) h = interesting[rng() % 14];

    const Action got = FirstActiveAction(set, in);
    const int n = static_cast<int>(got);
    ASSERT_TRUE(n >= 0 && n <= 8) << "round " << round;
    for (int i = 0; i < n; ++i) ASSERT_FALSE(BindingIsActive(set.bindings[i], in)) << "round " << round;
    if (n < 8) {
      const Binding& b = set.bindings[n];
      ASSERT_TRUE(b.kind >= 0 && b.kind <= 3) << "round " << round << " kind " << b.kind;
    }
  }
}
