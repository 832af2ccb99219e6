// Shared fixture of the joystick tests: a fresh fake world, the seams on
// the fake, and helpers to bring a player's object to a known state.
#pragma once

#include "tests/fakes/fake_dinput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class JoystickTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // g_Joystick[player] rebuilt on the fake (and the lines of its building forgotten).
  CDIJoystick& Rebuild(int player);
  // Selected, opened by a first poll and acquired by a second one; true when
  // the second poll read a state.
  bool OpenAndAcquire(CDIJoystick& joy, const GUID& guid);
};

std::vector<std::string> L(std::initializer_list<const char*> lines);
