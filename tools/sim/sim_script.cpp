// The simulator's script: lines "FRAMES P0ACTION P1ACTION", '#' comments.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/sim/sim.h"

namespace {

struct ActionName {
  const char* name;
  Action action;
};

const ActionName ACTION_NAMES[] = {
    {"speedup", Action::SpeedUp}, {"left", Action::Left},  {"right", Action::Right},
    {"cw", Action::RotateCW},     {"ccw", Action::RotateCCW}, {"swap", Action::Swap},
    {"pause", Action::Pause},     {"fall", Action::Fall},  {"none", Action::NoAction},
    {"-", Action::NoAction}};

constexpr int64_t MAX_RUN_FRAMES = 100000000;  // about 11 days of play

}  // namespace

bool ParseAction(const char* word, Action& action) {
  char lower[16];
  size_t n = std::strlen(word);
  if (n >= sizeof lower) return false;
  for (size_t i = 0; i <= n; ++i) lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(word[i])));
  for (const ActionName& a : ACTION_NAMES) {
    if (std::strcmp(a.name, lower) == 0) {
      action = a.action;
      return true;
    }
  }
  return false;
}

bool ParseScript(std::FILE* in, std::vector<ScriptRun>& runs, char* error, size_t errorSize) {
  char line[512];
  for (int number = 1; std::fgets(line, sizeof line, in) != nullptr; ++number) {
    if (std::strchr(line, '\n') == nullptr && !std::feof(in)) {
      std::snprintf(error, errorSize, "script line %d: longer than %d characters", number,
                    static_cast<int>(sizeof line) - 2);
      return false;
    }
    if (char* comment = std::strchr(line, '#')) *comment = '\0';
    char* words[4];
    int count = 0;
    for (char* w = std::strtok(line, " \t\r\n"); w != nullptr; w = std::strtok(nullptr, " \t\r\n")) {
      if (count == 4) break;
      words[count++] = w;
    }
    if (count == 0) continue;
    if (count != 3) {
      std::snprintf(error, errorSize, "script line %d: expected FRAMES P0ACTION P1ACTION", number);
      return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long frames = std::strtoll(words[0], &end, 10);
    if (errno != 0 || *end != '\0' || !std::isdigit(static_cast<unsigned char>(words[0][0])) || frames < 1 ||
        frames > MAX_RUN_FRAMES) {
      std::snprintf(error, errorSize, "script line %d: frame count '%s' is not a number from 1 to %lld", number,
                    words[0], static_cast<long long>(MAX_RUN_FRAMES));
      return false;
    }
    ScriptRun run = {frames, {Action::NoAction, Action::NoAction}};
    for (int p = 0; p < 2; ++p) {
      if (!ParseAction(words[1 + p], run.action[p])) {
        std::snprintf(error, errorSize, "script line %d: unknown action '%s' for player %d", number,
                      words[1 + p], p);
        return false;
      }
    }
    runs.push_back(run);
  }
  if (std::ferror(in)) {
    std::snprintf(error, errorSize, "script: read error");
    return false;
  }
  return true;
}
