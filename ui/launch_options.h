// The game's command line: play, record every match to a file, or replay a
// recording in the window; host or join a network match, by address or by
// invite code through a lobby. Platform-free so that it is tested natively.
#pragma once

#include <cstdint>
#include <string>

#include "lobby/lobby_wire.h"
#include "net/net_socket.h"
#include "net/net_wire.h"

enum class LaunchMode { Play, Record, Replay };

// A network match asked for on the command line: none, host one, join one;
// host or join one by invite code.
enum class NetworkRole { None, Host, Join, HostInvite, JoinInvite };

struct LaunchOptions {
  LaunchMode mode = LaunchMode::Play;
  std::string path;
  NetworkRole network = NetworkRole::None;
  std::string peerHost;  // --join's HOST
  uint16_t port = NET_DEFAULT_PORT;
  std::string lobbyHost;  // the invite roles: --lobby's HOST, or the known lobby's
  uint16_t lobbyPort = LOBBY_DEFAULT_PORT;
  uint64_t inviteCode = 0;  // --join-invite's CODE
  // For tests: no message boxes (what they would say goes to the standard
  // error and the debug output), and a replay closes the window when over.
  bool unattended = false;
};

// Reads "--record FILE", "--replay FILE", "--host [PORT]", "--join
// HOST[:PORT]" or "--join [IPV6]:PORT", "--host-invite", "--join-invite
// CODE", "--lobby HOST[:PORT]" (each also with "/") and "--unattended"; a FILE with spaces
// is given in double quotes. Other words are ignored, as they always were.
// An invite role without --lobby takes `knownLobby` (the stored "Lobby" or
// the build's default; "" when there is none). False with a message in
// `error` for an option without its file, host or code, a bad port or code,
// both modes or two network roles at once, an invite role with no lobby
// known, or a replay in a network match.
bool ParseLaunchOptions(const char* commandLine, LaunchOptions& out, std::string& error,
                        const char* knownLobby = "");

// A port as typed: decimal digits only, 1 to 65535 (blanks around allowed).
bool ParsePort(const char* text, uint16_t& port);
// "HOST", "HOST:PORT", "IPV6" or "[IPV6]:PORT" as typed (the port
// `defaultPort` when left out: LOBBY_DEFAULT_PORT for a lobby;
// SplitHostAndPort's forms); false for what is no address nor name, or a
// bad port, with the reason in *error when given. The host is not looked up.
bool ParsePeerAddress(const char* text, std::string& host, uint16_t& port, uint16_t defaultPort = NET_DEFAULT_PORT,
                      std::string* error = nullptr);
