// The game's command line: the modes, the network roles and their ports, and
// every malformed line refused with a message.
#include <gtest/gtest.h>

#include <string>

#include "ui/launch_options.h"

TEST(LaunchOptions, RecordReplayAndTheirFaults) {
  LaunchOptions o;
  std::string error;
  EXPECT_TRUE(ParseLaunchOptions("", o, error));
  EXPECT_EQ(LaunchMode::Play, o.mode);
  EXPECT_TRUE(ParseLaunchOptions(nullptr, o, error));
  EXPECT_TRUE(ParseLaunchOptions("  --record  \"C:\\My Games\\a b.rec\" --unattended", o, error));
  EXPECT_EQ(LaunchMode::Record, o.mode);
  EXPECT_EQ("C:\\My Games\\a b.rec", o.path);
  EXPECT_TRUE(o.unattended);
  EXPECT_TRUE(ParseLaunchOptions("/replay x.rec -foo", o, error));
  EXPECT_EQ(LaunchMode::Replay, o.mode);
  EXPECT_EQ("x.rec", o.path);
  EXPECT_FALSE(o.unattended);
  EXPECT_FALSE(ParseLaunchOptions("--record", o, error));
  EXPECT_EQ("--record needs a file", error);
  EXPECT_FALSE(ParseLaunchOptions("/replay \"\"", o, error));
  EXPECT_FALSE(ParseLaunchOptions("--record a --replay b", o, error));
  EXPECT_FALSE(ParseLaunchOptions("--record a --record b", o, error));
}

TEST(LaunchOptions, NetworkRolesPortsAndTheirFaults) {
  LaunchOptions o;
  std::string error;
  ASSERT_TRUE(ParseLaunchOptions("--host", o, error));
  EXPECT_EQ(NetworkRole::Host, o.network);
  EXPECT_EQ(41414, o.port);
  ASSERT_TRUE(ParseLaunchOptions("/host 43001 --record m.rec", o, error));
  EXPECT_EQ(43001, o.port);
  EXPECT_EQ(LaunchMode::Record, o.mode) << "a network match may be recorded";
  ASSERT_TRUE(ParseLaunchOptions("--host --unattended", o, error)) << error;
  EXPECT_EQ(41414, o.port);
  EXPECT_TRUE(o.unattended);
  ASSERT_TRUE(ParseLaunchOptions("/join 192.0.2.7", o, error));
  EXPECT_EQ(NetworkRole::Join, o.network);
  EXPECT_EQ("192.0.2.7", o.peerHost);
  EXPECT_EQ(41414, o.port);
  ASSERT_TRUE(ParseLaunchOptions("--join localhost:65535", o, error));
  EXPECT_EQ("localhost", o.peerHost);
  EXPECT_EQ(65535, o.port);
  ASSERT_TRUE(ParseLaunchOptions("--join [2001:db8::7]:43001", o, error)) << error;
  EXPECT_EQ("2001:db8::7", o.peerHost) << "no brackets for the look-up";
  EXPECT_EQ(43001, o.port);
  ASSERT_TRUE(ParseLaunchOptions("--join fe80::1%2", o, error)) << error;
  EXPECT_EQ("fe80::1%2", o.peerHost);
  EXPECT_EQ(41414, o.port);

  const char* refused[] = {"--host 0", "--host 65536", "--host 12ab", "--join", "--join --unattended",
                           "--join :41414", "--join a:", "--join a:99999", "--join a:-1",
                           "--host --join a", "--join a --join b", "--replay m.rec --host",
                           "--join 2001:db8::7:41414", "--join [2001:db8::7]:", "--join 192.0.2.300"};
  for (const char* line : refused) {
    error.clear();
    EXPECT_FALSE(ParseLaunchOptions(line, o, error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
  ParseLaunchOptions("--join a:99999", o, error);
  EXPECT_EQ("--join needs HOST, HOST:PORT or [IPV6]:PORT: the port must be a number from 1 to 65535", error);

  // The dialogs' fields go through the same readers.
  uint16_t port = 7;
  EXPECT_TRUE(ParsePort(" 41414 ", port));
  EXPECT_EQ(41414, port);
  EXPECT_FALSE(ParsePort("", port));
  EXPECT_FALSE(ParsePort("4 1", port));
  EXPECT_FALSE(ParsePort("99999999999999999999", port));
  EXPECT_FALSE(ParsePort(nullptr, port));
  EXPECT_EQ(41414, port) << "a refused port leaves the value alone";
}

TEST(LaunchOptions, InviteRolesAndTheirLobby) {
  LaunchOptions o;
  std::string error;
  ASSERT_TRUE(ParseLaunchOptions("--lobby lobby.example:43150 --host-invite", o, error)) << error;
  EXPECT_EQ(NetworkRole::HostInvite, o.network);
  EXPECT_EQ("lobby.example", o.lobbyHost);
  EXPECT_EQ(43150, o.lobbyPort);
  uint64_t code = 0;
  ASSERT_TRUE(ParseLobbyCode("ABCD-2345", code));
  uint64_t spaced = 0;
  EXPECT_TRUE(ParseLobbyCode("abcd 2345", spaced));
  EXPECT_EQ(code, spaced) << "a space in the dash's place, as a code is read out";
  EXPECT_FALSE(ParseLobbyCode("AB CD2345", spaced)) << "nowhere else";
  ASSERT_TRUE(ParseLaunchOptions("/join-invite abcd2345 /lobby 192.0.2.9", o, error)) << error;
  EXPECT_EQ(NetworkRole::JoinInvite, o.network);
  EXPECT_EQ(code, o.inviteCode) << "any case, without the dash";
  EXPECT_EQ("192.0.2.9", o.lobbyHost);
  EXPECT_EQ(41415, o.lobbyPort) << "the lobby's own default port, not the game's";
  // The known lobby stands in for --lobby; --lobby wins over it.
  ASSERT_TRUE(ParseLaunchOptions("--host-invite", o, error, "stored.example:5"));
  EXPECT_EQ("stored.example", o.lobbyHost);
  EXPECT_EQ(5, o.lobbyPort);
  ASSERT_TRUE(ParseLaunchOptions("--host-invite --lobby given.example", o, error, "stored.example:5"));
  EXPECT_EQ("given.example", o.lobbyHost);

  const char* refused[] = {"--host-invite", "--join-invite ABCD-2345", "--lobby a --join-invite",
                           "--lobby a --join-invite ABCD-0000", "--lobby a --join-invite ABCD-23456",
                           "--lobby --host-invite", "--lobby a:0 --host-invite", "--host --host-invite --lobby a",
                           "--lobby a --host-invite --join-invite ABCD2345", "--lobby a --host-invite --replay m.rec"};
  for (const char* line : refused) {
    error.clear();
    EXPECT_FALSE(ParseLaunchOptions(line, o, error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
  EXPECT_FALSE(ParseLaunchOptions("--host-invite", o, error, "bad host"));
  EXPECT_EQ("no lobby is known for an invite code: give --lobby HOST[:PORT]", error);
}
