// The settings store against Wine's real registry in the build's own prefix;
// the key is deleted before and after every test. Joystick-mode sets find
// their devices on the fake DirectInput.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "controls/control_set.h"
#include "controls/settings_store.h"
#include "engine/engine.h"
#include "tests/controls/settings_test_support.h"
#include "tests/fakes/fake_dinput.h"
#include "ui/main_window.h"

using namespace settingstest;

TEST_F(SettingsStore, FirstRunWithoutKey) {
  LoadShadows();
  EXPECT_EQ(0, gameState.shadowOn[0]);
  EXPECT_EQ(0, gameState.shadowOn[1]);
  LoadControls(0);
  LoadControls(1);
  ExpectDefaults("first run");
  EXPECT_FALSE(KeyExists()) << "loads must not create the key";

  // The first save of player 1 writes player 0's in-memory set beside it.
  controls[1].bindings[7].arg2 = 0x0D;
  SaveControls(1);
  std::vector<uint8_t> stored;
  DWORD type = 0;
  ASSERT_TRUE(ReadValue(CONTROLS_VALUE, &stored, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
  ASSERT_EQ(232u, stored.size());
  EXPECT_EQ(0, std::memcmp(stored.data(), controls, 232));
}

// Start loads player 0 and then player 1; a failed load resets both.
TEST_F(SettingsStore, OrderOfTheLoadsAtStart) {
  // Player 1's stored joystick unplugged: player 0's good set is lost too.
  ControlSet p0 = JoystickModeSet(padB->guidInstance, 0x11);
  ControlSet p1 = JoystickModeSet(fakedi::MakeGuid(99), 0x22);
  WriteControls(p0, p1);
  LoadControls(0);
  EXPECT_EQ(0, std::memcmp(&p0, &controls[0], 116)) << "player 0 alone is loadable";
  EXPECT_TRUE(IsEqualGUID(padB->guidInstance, g_Joystick[0].m_guidDevice))
      << "the second device of the list is selected";
  LoadControls(1);
  ExpectDefaults("player 1's joystick unplugged");

  // Only player 0's unplugged: player 0 on the defaults, player 1 stored.
  p0 = JoystickModeSet(fakedi::MakeGuid(98), 0x33);
  p1 = JoystickModeSet(padA->guidInstance, 0x44);
  WriteControls(p0, p1);
  LoadControls(0);
  LoadControls(1);
  ControlSet defaults[2];
  DefaultImage(defaults);
  EXPECT_EQ(0, std::memcmp(&defaults[0], &controls[0], 116));
  EXPECT_EQ(0, std::memcmp(&p1, &controls[1], 116));
  EXPECT_TRUE(IsEqualGUID(padA->guidInstance, g_Joystick[1].m_guidDevice));

  // No joystick attached at all: a joystick-mode set never loads.
  WriteControls(p1, p1);
  padA->attached = padB->attached = false;
  fakedi::RebuildJoystick(0);
  fakedi::RebuildJoystick(1);
  LoadControls(0);
  ExpectDefaults("empty device list");
}

TEST_F(SettingsStore, KeyboardModeSetCarriesItsDeviceGuid) {
  // Keyboard mode (any nonzero byte) with a joystick that is not attached,
  // odd reserved bytes and odd bindings: loaded as stored, list unread.
  ControlSet p0 = JoystickModeSet(fakedi::MakeGuid(55), 0x5a);
  p0.keyboardMode = 0x37;
  p0.reserved[0] = 0xa1; p0.reserved[1] = 0xa2; p0.reserved[2] = 0xa3;
  p0.bindings[4] = Binding{9, -1, INT32_MIN};
  ControlSet p1 = JoystickModeSet(fakedi::MakeGuid(56), 0x6b);
  p1.keyboardMode = 1;
  WriteControls(p0, p1);
  const GUID before = g_Joystick[0].m_guidDevice;
  LoadControls(0);
  LoadControls(1);
  EXPECT_EQ(0, std::memcmp(&p0, &controls[0], 116));
  EXPECT_EQ(0, std::memcmp(&p1, &controls[1], 116));
  EXPECT_TRUE(IsEqualGUID(before, g_Joystick[0].m_guidDevice)) << "no device selected";

  // A later save of player 0 writes the same GUID and reserved bytes back
  // and keeps player 1's stored bytes, whatever player 1 holds in memory.
  controls[0].bindings[0].arg2 = 'Z';
  p0.bindings[0].arg2 = 'Z';
  std::memset(&controls[1], 0xbd, 116);
  SaveControls(0);
  std::vector<uint8_t> stored;
  ASSERT_TRUE(ReadValue(CONTROLS_VALUE, &stored, nullptr));
  ASSERT_EQ(232u, stored.size());
  EXPECT_EQ(0, std::memcmp(&p0, stored.data(), 116));
  EXPECT_EQ(0, std::memcmp(&p1, stored.data() + 116, 116));
}

TEST_F(SettingsStore, SavesKeepTheOtherPlayersStoredBytes) {
  std::vector<uint8_t> image(232);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
  WriteValue(CONTROLS_VALUE, REG_BINARY, image);
  SetDefaultControls();
  controls[1].bindings[3].arg2 = 'J';
  SaveControls(1);
  std::vector<uint8_t> stored;
  ASSERT_TRUE(ReadValue(CONTROLS_VALUE, &stored, nullptr));
  ASSERT_EQ(232u, stored.size());
  EXPECT_EQ(0, std::memcmp(image.data(), stored.data(), 116)) << "player 0's stored bytes";
  EXPECT_EQ(0, std::memcmp(&controls[1], stored.data() + 116, 116));

  SaveControls(0);
  ASSERT_TRUE(ReadValue(CONTROLS_VALUE, &stored, nullptr));
  EXPECT_EQ(0, std::memcmp(controls, stored.data(), 232));

  // A value of another type but exactly 232 bytes is used like a binary
  // one, on load and on save (which writes it back as REG_BINARY).
  for (DWORD type : {static_cast<DWORD>(REG_NONE), static_cast<DWORD>(REG_DWORD),
                     static_cast<DWORD>(REG_QWORD)}) {
    ControlSet p0 = JoystickModeSet(fakedi::MakeGuid(3), 0x71);
    p0.keyboardMode = 1;
    ControlSet p1 = JoystickModeSet(padA->guidInstance, 0x72);
    std::vector<uint8_t> bytes(232);
    std::memcpy(bytes.data(), &p0, 116);
    std::memcpy(bytes.data() + 116, &p1, 116);
    WriteValue(CONTROLS_VALUE, type, bytes);
    std::memset(controls, 0xbd, sizeof controls);
    LoadControls(0);
    LoadControls(1);
    EXPECT_EQ(0, std::memcmp(bytes.data(), controls, 232)) << "type " << type;
    controls[1].bindings[0].arg1 = 5;
    SaveControls(1);
    DWORD got = 0;
    ASSERT_TRUE(ReadValue(CONTROLS_VALUE, &stored, &got));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), got);
    EXPECT_EQ(0, std::memcmp(bytes.data(), stored.data(), 116)) << "type " << type;
    EXPECT_EQ(0, std::memcmp(&controls[1], stored.data() + 116, 116)) << "type " << type;
  }
}

// "Controls" of any size but 232 counts as missing; "Shadows" longer than 2
// bytes sets nothing, shorter ones set what they cover.
TEST_F(SettingsStore, SizeRules) {
  for (size_t size : {0u, 1u, 20u, 115u, 116u, 117u, 231u, 233u, 300u}) {
    std::vector<uint8_t> bytes(size, 0x01);  // keyboardMode 1 wherever it lands
    WriteValue(CONTROLS_VALUE, REG_BINARY, bytes);
    std::memset(controls, 0xbd, sizeof controls);
    LoadControls(1);
    ExpectDefaults("load, size " + std::to_string(size));

    // Save: the in-memory image of both sets, then player p's set over it.
    std::memset(&controls[0], 0x5c, 116);
    controls[1].bindings[2].arg2 = 'K';
    SaveControls(1);
    std::vector<uint8_t> stored;
    ASSERT_TRUE(ReadValue(CONTROLS_VALUE, &stored, nullptr));
    ASSERT_EQ(232u, stored.size()) << "save, size " << size;
    EXPECT_EQ(0, std::memcmp(controls, stored.data(), 232)) << "save, size " << size;
  }

  struct ShadowCase {
    std::vector<uint8_t> stored;
    uint8_t expect0, expect1;
  };
  const ShadowCase cases[] = {
      {{}, 0, 0},           {{1}, 1, 0},          {{0x37}, 0x37, 0}, {{0, 1}, 0, 1},
      {{1, 0x37}, 1, 0x37}, {{1, 1, 1}, 0, 0},    {std::vector<uint8_t>(300, 1), 0, 0},
  };
  for (const ShadowCase& c : cases) {
    WriteValue(SHADOWS_VALUE, REG_BINARY, c.stored);
    gameState.shadowOn[0] = gameState.shadowOn[1] = 0xbd;
    LoadShadows();
    EXPECT_EQ(c.expect0, gameState.shadowOn[0]) << "stored size " << c.stored.size();
    EXPECT_EQ(c.expect1, gameState.shadowOn[1]) << "stored size " << c.stored.size();
  }
}

TEST_F(SettingsStore, ShadowSavesMergeWithWhatIsStored) {
  HWND box = MakeCheckBox(BS_AUTOCHECKBOX);
  shadowCheck[0] = shadowCheck[1] = box;
  // No value: ticking player 1 writes player 0's in-memory switch beside it.
  gameState.shadowOn[0] = 1;
  SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
  SaveShadow(1);
  EXPECT_EQ(1, gameState.shadowOn[1]);
  EXPECT_EQ(std::vector<uint8_t>({1, 1}), Stored(SHADOWS_VALUE));

  // Player 0 unticked: byte 1 stays as stored, not as in memory.
  WriteValue(SHADOWS_VALUE, REG_BINARY, {1, 0x37});
  gameState.shadowOn[1] = 0;
  SendMessageA(box, BM_SETCHECK, BST_UNCHECKED, 0);
  SaveShadow(0);
  EXPECT_EQ(std::vector<uint8_t>({0, 0x37}), Stored(SHADOWS_VALUE));

  // A 1-byte value: player 0's save takes byte 1 from player 1's switch.
  WriteValue(SHADOWS_VALUE, REG_BINARY, {0});
  gameState.shadowOn[1] = 1;
  SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
  SaveShadow(0);
  EXPECT_EQ(std::vector<uint8_t>({1, 1}), Stored(SHADOWS_VALUE));
  // ... and player 1's save keeps the stored byte 0.
  WriteValue(SHADOWS_VALUE, REG_BINARY, {0x37});
  SaveShadow(1);
  EXPECT_EQ(std::vector<uint8_t>({0x37, 1}), Stored(SHADOWS_VALUE));

  // Longer than 2 bytes, empty, or another type and size: rewritten from
  // the in-memory switches as a 2-byte binary value.
  for (std::vector<uint8_t> bytes : {std::vector<uint8_t>{9, 9, 9}, std::vector<uint8_t>{}}) {
    WriteValue(SHADOWS_VALUE, REG_BINARY, bytes);
    gameState.shadowOn[0] = 0;
    SaveShadow(1);
    EXPECT_EQ(std::vector<uint8_t>({0, 1}), Stored(SHADOWS_VALUE)) << "stored " << bytes.size();
  }
  DWORD type = 0;
  std::vector<uint8_t> stored;
  ASSERT_TRUE(ReadValue(SHADOWS_VALUE, &stored, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
  DestroyWindow(box);
}

// The switch is 1 only when BM_GETCHECK answers exactly 1: a three-state
// box's indeterminate 2, or any other answer, stores 0.
TEST_F(SettingsStore, CheckBoxCommandStoresOneOnlyForExactlyOne) {
  HWND box = MakeCheckBox(BS_AUTO3STATE);
  shadowCheck[1] = box;
  SendMessageA(box, BM_SETCHECK, BST_INDETERMINATE, 0);
  ASSERT_EQ(BST_INDETERMINATE, SendMessageA(box, BM_GETCHECK, 0, 0));
  gameState.shadowOn[0] = 0;
  gameState.shadowOn[1] = 0xbd;
  SaveShadow(1);
  EXPECT_EQ(0, gameState.shadowOn[1]);
  EXPECT_EQ(std::vector<uint8_t>({0, 0}), Stored(SHADOWS_VALUE));
  DestroyWindow(box);

  // A window of our own answers with whatever the case asks for.
  HWND answering = MakeAnsweringWindow();
  shadowCheck[1] = answering;
  const struct { LRESULT answer; uint8_t expect; } answers[] = {
      {1, 1}, {0, 0}, {2, 0}, {3, 0}, {-1, 0}, {0x101, 0}, {0x100000001LL, 0},
  };
  for (const auto& a : answers) {
    checkAnswer = a.answer;
    SaveShadow(1);
    EXPECT_EQ(a.expect, gameState.shadowOn[1]) << "BM_GETCHECK " << a.answer;
    EXPECT_EQ(a.expect, Stored(SHADOWS_VALUE)[1]) << "BM_GETCHECK " << a.answer;
  }
  // A dead window answers 0: the switch goes off, nothing crashes.
  DestroyWindow(answering);
  SaveShadow(1);
  EXPECT_EQ(0, gameState.shadowOn[1]);
  EXPECT_EQ(0, Stored(SHADOWS_VALUE)[1]);
}

// "Sound": on when missing and for anything but the one byte 0; a save writes
// that one byte and leaves the other values alone; a load creates nothing.
TEST_F(SettingsStore, SoundSwitchAndItsFallback) {
  EXPECT_TRUE(LoadSoundSwitch());
  EXPECT_FALSE(KeyExists()) << "loads must not create the key";
  struct Case {
    DWORD type;
    std::vector<uint8_t> bytes;
    bool on;
  };
  const Case cases[] = {{REG_BINARY, {0}, false},        {REG_BINARY, {1}, true},   {REG_BINARY, {0xbd}, true},
                        {REG_BINARY, {}, true},          {REG_BINARY, {0, 0}, true}, {REG_DWORD, {0, 0, 0, 0}, true}};
  for (const Case& c : cases) {
    WriteValue(SOUND_VALUE, c.type, c.bytes);
    EXPECT_EQ(c.on, LoadSoundSwitch()) << "type " << c.type << ", " << c.bytes.size() << " bytes";
  }
  WriteValue(SHADOWS_VALUE, REG_BINARY, {7, 9});
  for (bool on : {false, true}) {
    SaveSoundSwitch(on);
    std::vector<uint8_t> stored;
    DWORD type = 0;
    ASSERT_TRUE(ReadValue(SOUND_VALUE, &stored, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(std::vector<uint8_t>{static_cast<uint8_t>(on)}, stored);
    EXPECT_EQ(on, LoadSoundSwitch());
  }
  EXPECT_EQ((std::vector<uint8_t>{7, 9}), Stored(SHADOWS_VALUE));
}

// "Window": restored only when 20 bytes, maximised 0 or 1, both sides 1 to
// 65536 long and on a monitor; anything else leaves the record as it was.
TEST_F(SettingsStore, WindowPlaceAndItsFallback) {
  WindowRecord record = {1, 2, 3, 4, 0};
  EXPECT_FALSE(LoadWindowRecord(record));
  EXPECT_FALSE(KeyExists()) << "loads must not create the key";

  const WindowRecord good = {40, 30, 840, 630, 1};
  SaveWindowRecord(good);
  EXPECT_EQ(20u, Stored(WINDOW_VALUE).size());
  ASSERT_TRUE(LoadWindowRecord(record));
  EXPECT_EQ(0, std::memcmp(&good, &record, sizeof record));

  auto bytes = [](const WindowRecord& r) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
    return std::vector<uint8_t>(p, p + sizeof r);
  };
  const WindowRecord bad[] = {
      {40, 30, 840, 630, 2},                   // maximised neither 0 nor 1
      {40, 30, 40, 630, 0},                    // no width
      {840, 30, 40, 630, 0},                   // right of left reversed
      {INT32_MIN, 0, INT32_MAX, 600, 0},       // wider than any screen
      {30000, 30000, 30800, 30600, 0},         // on no monitor
      {-9000, 40, -8200, 640, 0},              // left of every monitor
  };
  for (const WindowRecord& b : bad) {
    WriteValue(WINDOW_VALUE, REG_BINARY, bytes(b));
    record = {1, 2, 3, 4, 0};
    EXPECT_FALSE(LoadWindowRecord(record)) << b.left << "," << b.top << "," << b.right << "," << b.bottom;
    EXPECT_EQ(1, record.left) << "the record is left as it was";
  }
  std::vector<uint8_t> longer = bytes(good);
  longer.push_back(0);
  for (const std::vector<uint8_t>& v : {longer, std::vector<uint8_t>(longer.begin(), longer.end() - 2)}) {
    WriteValue(WINDOW_VALUE, REG_BINARY, v);
    EXPECT_FALSE(LoadWindowRecord(record)) << v.size() << " bytes";
  }
}

// "Lobby": text as saved; a value of another type, empty, or too long for the
// caller's buffer is no lobby and leaves the text alone; the other values stay.
TEST_F(SettingsStore, LobbyAddressAndItsFallback) {
  char text[16] = "\xbd\xbd";
  EXPECT_FALSE(LoadLobbyAddress(text, sizeof text));
  EXPECT_FALSE(KeyExists()) << "loads must not create the key";
  WriteValue(SOUND_VALUE, REG_BINARY, {0});
  SaveLobbyAddress("lobby.example:5");
  ASSERT_TRUE(LoadLobbyAddress(text, sizeof text));
  EXPECT_STREQ("lobby.example:5", text);
  DWORD type = 0;
  std::vector<uint8_t> stored;
  ASSERT_TRUE(ReadValue(LOBBY_VALUE, &stored, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(std::vector<uint8_t>{0}, Stored(SOUND_VALUE));
  // Stored without its NUL, the text is still read whole and ended.
  WriteValue(LOBBY_VALUE, REG_SZ, {'a', 'b'});
  ASSERT_TRUE(LoadLobbyAddress(text, sizeof text));
  EXPECT_STREQ("ab", text);
  const std::vector<uint8_t> tooLong(17, 'x');
  for (const auto& [t, bytes] : {std::pair<DWORD, std::vector<uint8_t>>{REG_BINARY, {'a', 0}},
                                 {REG_SZ, {0}}, {REG_SZ, tooLong}}) {
    WriteValue(LOBBY_VALUE, t, bytes);
    std::strcpy(text, "kept");
    EXPECT_FALSE(LoadLobbyAddress(text, sizeof text)) << "type " << t << ", " << bytes.size() << " bytes";
    EXPECT_STREQ("kept", text);
  }

  // A write the registry refuses (a lasting key under a volatile one) is
  // said, with the value and the registry's code, and answered false.
  static std::string refused;
  static long refusedCode;
  refused = "(nothing)";
  refusedCode = 0xdeadbeef;
  settingNotStored = [](const char* value, long code) {
    refused = value;
    refusedCode = code;
  };
  DeleteKey();
  HKEY vendor;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\QuillbeamSoft", 0, nullptr,
                                           REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &vendor, nullptr));
  RegCloseKey(vendor);
  EXPECT_FALSE(SaveLobbyAddress("lobby.example:5"));
  EXPECT_EQ("Lobby", refused);
  EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, refusedCode);
  settingNotStored = nullptr;
  DeleteKey();
  EXPECT_TRUE(SaveLobbyAddress("lobby.example:5"));
}
