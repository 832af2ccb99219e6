// Random stored values of every size, loaded through the real registry and
// sampled with random keys and joystick states: no crash, and each loaded
// record is either exactly the stored bytes or the default set.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "controls/action_sampling.h"
#include "tests/controls/settings_test_support.h"

using namespace settingstest;

namespace {

SHORT randomKeys[256];
SHORT RandomKeyState(int vk) { return (vk >= 0 && vk < 256) ? randomKeys[vk] : 0; }

}  // namespace

TEST_F(SettingsStore, RandomStoredValuesLoadWholeOrNotAtAll) {
  std::mt19937 rng(5150);
  auto below = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  const KeyStateFn savedSource = keyStateSource;
  keyStateSource = RandomKeyState;
  HWND box = MakeCheckBox(BS_AUTO3STATE);
  shadowCheck[0] = shadowCheck[1] = box;
  const GUID known[2] = {padA->guidInstance, padB->guidInstance};
  int loadedBoth = 0, defaulted = 0;

  for (int round = 0; round < 3000; ++round) {
    // "Controls": half the time the right size, with joystick-mode sets on
    // attached and unknown devices; otherwise any size from 0 to 300.
    const size_t size = below(2) ? 232 : below(301);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    if (size == 232) {
      for (int p = 0; p < 2; ++p) {
        if (below(2)) continue;
        bytes[116 * p] = 0;
        if (below(3)) std::memcpy(&bytes[116 * p + 4], &known[below(2)], 16);
      }
    }
    const DWORD type = below(8) ? static_cast<DWORD>(REG_BINARY) : static_cast<DWORD>(REG_NONE);
    WriteValue(CONTROLS_VALUE, type, bytes);
    // "Shadows": mostly 0 to 3 bytes, sometimes up to 300.
    std::vector<uint8_t> shadows(below(4) ? below(4) : below(301));
    for (uint8_t& b : shadows) b = static_cast<uint8_t>(rng());
    WriteValue(SHADOWS_VALUE, REG_BINARY, shadows);
    if (below(20) == 0) DeleteKey();
    const bool keyThere = KeyExists();

    std::memset(controls, 0xbd, sizeof controls);
    gameState.shadowOn[0] = gameState.shadowOn[1] = 0xbd;
    LoadShadows();
    LoadControls(0);
    LoadControls(1);

    // Shadows: what the stored value covers, when it is 2 bytes or less.
    const bool shadowsUsed = keyThere && shadows.size() <= 2;
    for (size_t p = 0; p < 2; ++p) {
      const uint8_t expect = (shadowsUsed && p < shadows.size()) ? shadows[p] : 0;
      ASSERT_EQ(expect, gameState.shadowOn[p]) << "round " << round << " player " << p;
    }
    // Controls: the load order at Start decides which stored set survives.
    bool loadable[2] = {false, false};
    if (keyThere && size == 232) {
      for (int p = 0; p < 2; ++p) {
        const uint8_t* set = &bytes[116 * p];
        loadable[p] = set[0] != 0 || std::memcmp(set + 4, &known[0], 16) == 0 ||
                      std::memcmp(set + 4, &known[1], 16) == 0;
      }
    }
    if (!loadable[1]) {
      ASSERT_TRUE(HoldsDefaults(0) && HoldsDefaults(1)) << "round " << round;
      ++defaulted;
    } else {
      ASSERT_EQ(0, std::memcmp(&bytes[116], &controls[1], 116)) << "round " << round;
      if (loadable[0]) {
        ASSERT_EQ(0, std::memcmp(&bytes[0], &controls[0], 116)) << "round " << round;
        ++loadedBoth;
      } else {
        ASSERT_TRUE(HoldsDefaults(0)) << "round " << round;
      }
    }

    // Whatever was loaded samples safely under random inputs.
    for (SHORT& k : randomKeys) k = static_cast<SHORT>(rng());
    for (fakedi::FakeJoystick* pad : {padA, padB}) {
      for (int b = 0; b < 8; ++b) pad->SetButton(b, below(2) != 0);
      for (int a = 0; a < 8; ++a) pad->SetAxis(a, static_cast<LONG>(below(3)) - 1);
      for (int h = 0; h < 4; ++h) pad->SetHat(h, below(2) ? 4500 * below(8) : 0xFFFFFFFF);
    }
    for (int p = 0; p < 2; ++p) {
      const int action = static_cast<int>(SampleAction(p));
      ASSERT_TRUE(action >= 0 && action <= 8) << "round " << round << " player " << p;
    }

    // An occasional save keeps the other player's stored bytes when they
    // were usable, and the in-memory image otherwise.
    if (below(4) == 0) {
      const int p = static_cast<int>(below(2));
      std::vector<uint8_t> before;
      const bool hadValue = ReadValue(CONTROLS_VALUE, &before, nullptr) && before.size() == 232;
      SaveControls(p);
      const std::vector<uint8_t> after = Stored(CONTROLS_VALUE);
      ASSERT_EQ(232u, after.size()) << "round " << round;
      ASSERT_EQ(0, std::memcmp(&controls[p], &after[116 * p], 116)) << "round " << round;
      const int q = 1 - p;
      const uint8_t* other = hadValue ? &before[116 * q] : reinterpret_cast<const uint8_t*>(&controls[q]);
      ASSERT_EQ(0, std::memcmp(other, &after[116 * q], 116)) << "round " << round;
      SendMessageA(box, BM_SETCHECK, below(3), 0);
      SaveShadow(q);
      ASSERT_EQ(2u, Stored(SHADOWS_VALUE).size()) << "round " << round;
    }
  }
  // The rounds must have exercised both outcomes.
  EXPECT_GT(loadedBoth, 100);
  EXPECT_GT(defaulted, 100);
  keyStateSource = savedSource;
  DestroyWindow(box);
}
