// The game's command line, split as the Windows shell quotes it: words
// separated by blanks, double quotes around a word with blanks in it.
#include "ui/launch_options.h"

#include <cstring>
#include <vector>

namespace {

std::vector<std::string> SplitWords(const char* line) {
  std::vector<std::string> words;
  const char* c = line == nullptr ? "" : line;
  while (true) {
    while (*c == ' ' || *c == '\t') ++c;
    if (*c == '\0') break;
    std::string word;
    bool quoted = false;
    for (; *c != '\0' && (quoted || (*c != ' ' && *c != '\t')); ++c) {
      if (*c == '"') {
        quoted = !quoted;
      } else {
        word += *c;
      }
    }
    words.push_back(word);
  }
  return words;
}

bool Is(const std::string& word, const char* name) {
  return word == std::string("--") + name || word == std::string("/") + name;
}

}  // namespace

bool ParsePort(const char* text, uint16_t& port) {
  if (text == nullptr) return false;
  while (*text == ' ' || *text == '\t') ++text;
  uint32_t value = 0;
  int digits = 0;
  for (; *text >= '0' && *text <= '9'; ++text, ++digits) {
    value = value * 10 + static_cast<uint32_t>(*text - '0');
    if (value > 65535) return false;
  }
  while (*text == ' ' || *text == '\t') ++text;
  if (digits == 0 || *text != '\0' || value == 0) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

bool ParsePeerAddress(const char* text, std::string& host, uint16_t& port, uint16_t defaultPort, std::string* error) {
  char name[NET_HOST_TEXT];
  char why[200];
  uint16_t p = defaultPort;
  bool portGiven = false;
  if (!SplitHostAndPort(text, name, p, portGiven, why, sizeof why)) {
    if (error != nullptr) *error = why;
    return false;
  }
  host = name;
  port = p;
  return true;
}

bool ParseLaunchOptions(const char* commandLine, LaunchOptions& out, std::string& error, const char* knownLobby) {
  out = LaunchOptions{};
  const std::vector<std::string> words = SplitWords(commandLine);
  bool lobbyGiven = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const bool given = i + 1 < words.size() && !words[i + 1].empty() && words[i + 1][0] != '-' &&
                       words[i + 1][0] != '/';
    const bool host = Is(words[i], "host");
    const bool hostInvite = Is(words[i], "host-invite");
    const bool joinInvite = Is(words[i], "join-invite");
    if ((host || Is(words[i], "join") || hostInvite || joinInvite) && out.network != NetworkRole::None) {
      error = "give one of --host, --join, --host-invite and --join-invite, once";
      return false;
    }
    if (hostInvite) {
      out.network = NetworkRole::HostInvite;
      continue;
    }
    if (joinInvite) {
      out.network = NetworkRole::JoinInvite;
      if (!given || !ParseLobbyCode(words[i + 1].c_str(), out.inviteCode)) {
        error = words[i] + " needs an invite code: 8 letters and digits, as XXXX-XXXX";
        return false;
      }
      ++i;
      continue;
    }
    if (Is(words[i], "lobby")) {
      if (!given || !ParsePeerAddress(words[i + 1].c_str(), out.lobbyHost, out.lobbyPort, LOBBY_DEFAULT_PORT)) {
        error = words[i] + " needs HOST or HOST:PORT (a port from 1 to 65535)";
        return false;
      }
      lobbyGiven = true;
      ++i;
      continue;
    }
    if (host || Is(words[i], "join")) {
      out.network = host ? NetworkRole::Host : NetworkRole::Join;
      if (host && given && !ParsePort(words[++i].c_str(), out.port)) {
        error = "--host needs a port from 1 to 65535, not " + words[i];
        return false;
      }
      std::string why = "no host given";
      if (!host && (!given || !ParsePeerAddress(words[i + 1].c_str(), out.peerHost, out.port, NET_DEFAULT_PORT, &why))) {
        error = words[i] + " needs HOST, HOST:PORT or [IPV6]:PORT: " + why;
        return false;
      }
      if (!host) ++i;
      continue;
    }
    const bool record = Is(words[i], "record");
    if (record || Is(words[i], "replay")) {
      if (i + 1 >= words.size() || words[i + 1].empty()) {
        error = words[i] + " needs a file";
        return false;
      }
      if (out.mode != LaunchMode::Play) {
        error = "give one of --record and --replay, once";
        return false;
      }
      out.mode = record ? LaunchMode::Record : LaunchMode::Replay;
      out.path = words[++i];
    } else if (Is(words[i], "unattended")) {
      out.unattended = true;
    }
  }
  if (out.network != NetworkRole::None && out.mode == LaunchMode::Replay) {
    error = "a replay cannot be a network match: leave out --host or --join";
    return false;
  }
  const bool invite = out.network == NetworkRole::HostInvite || out.network == NetworkRole::JoinInvite;
  if (invite && !lobbyGiven &&
      !ParsePeerAddress(knownLobby, out.lobbyHost, out.lobbyPort, LOBBY_DEFAULT_PORT)) {
    error = "no lobby is known for an invite code: give --lobby HOST[:PORT]";
    return false;
  }
  return true;
}
