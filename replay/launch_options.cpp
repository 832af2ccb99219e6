// The game's command line, split as the Windows shell quotes it: words
// separated by blanks, double quotes around a word with blanks in it.
#include "replay/launch_options.h"

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

bool ParseLaunchOptions(const char* commandLine, LaunchOptions& out, std::string& error) {
  out = LaunchOptions{};
  const std::vector<std::string> words = SplitWords(commandLine);
  for (size_t i = 0; i < words.size(); ++i) {
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
  return true;
}
