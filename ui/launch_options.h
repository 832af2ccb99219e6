// The game's command line: play, record every match to a file, or replay a
// recording in the window; host or join a network match. Platform-free so
// that it is tested natively.
#pragma once

#include <cstdint>
#include <string>

#include "net/net_socket.h"
#include "net/net_wire.h"

enum class LaunchMode { Play, Record, Replay };

// A network match asked for on the command line: none, host one, join one.
enum class NetworkRole { None, Host, Join };

struct LaunchOptions {
  LaunchMode mode = LaunchMode::Play;
  std::string path;
  NetworkRole network = NetworkRole::None;
  std::string peerHost;  // --join's HOST
  uint16_t port = NET_DEFAULT_PORT;
  // For tests: no message boxes (what they would say goes to the standard
  // error and the debug output), and a replay closes the window when over.
  bool unattended = false;
};

// Reads "--record FILE", "--replay FILE", "--host [PORT]", "--join
// HOST[:PORT]" or "--join [IPV6]:PORT" (each also with "/") and "--unattended"; a FILE with spaces
// is given in double quotes. Other words are ignored, as they always were.
// False with a message in `error` for an option without its file or host, a
// bad port, both modes or both network roles at once, or a replay in a
// network match.
bool ParseLaunchOptions(const char* commandLine, LaunchOptions& out, std::string& error);

// A port as typed: decimal digits only, 1 to 65535 (blanks around allowed).
bool ParsePort(const char* text, uint16_t& port);
// "HOST", "HOST:PORT", "IPV6" or "[IPV6]:PORT" as typed (the port
// NET_DEFAULT_PORT when left out; SplitHostAndPort's forms); false for what
// is no address nor name, or a bad port, with the reason in *error when
// given. The host is not looked up.
bool ParsePeerAddress(const char* text, std::string& host, uint16_t& port, std::string* error = nullptr);
