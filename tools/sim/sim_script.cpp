// The simulator's script: lines "FRAMES P0ACTION P1ACTION", '#' comments.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/sim/sim.h"

namespace {

// Longest line read, without its line end.
constexpr size_t MAX_LINE = 510;

// Reads one line without its '\n' (and without a '\r' just before it, so
// that scripts saved with CRLF ends read the same) into line, terminated,
// with its true length: a NUL inside it must not hide the rest. Returns
// false at the end of the input; tooLong when the line did not fit.
bool ReadLine(std::FILE* in, char (&line)[MAX_LINE + 2], size_t& length, bool& tooLong) {
  length = 0;
  tooLong = false;
  int c;
  while ((c = std::getc(in)) != EOF && c != '\n') {
    if (length == MAX_LINE + 1) {
      tooLong = true;
      return true;
    }
    line[length++] = static_cast<char>(c);
  }
  if (c == EOF && length == 0) return false;
  if (length > 0 && line[length - 1] == '\r') --length;
  if (length > MAX_LINE) tooLong = true;
  line[length] = '\0';
  return true;
}

// The first control character of a line (tab separates words and is
// allowed), or -1.
long FirstControlByte(const char* line, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const unsigned char b = static_cast<unsigned char>(line[i]);
    if ((b < 0x20 && b != '\t') || b == 0x7F) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace

bool ParseAction(const char* word, Action& action) {
  char lower[16];
  size_t n = std::strlen(word);
  if (n >= sizeof lower) return false;
  for (size_t i = 0; i <= n; ++i) lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(word[i])));
  // A recording's action names, in any case, and '-' for none.
  if (std::strcmp(lower, "-") == 0) {
    action = Action::NoAction;
    return true;
  }
  for (int32_t i = 0; i < RECORDED_ACTIONS; ++i) {
    if (std::strcmp(RECORDED_ACTION_NAMES[i], lower) == 0) {
      action = static_cast<Action>(i);
      return true;
    }
  }
  return false;
}

void PrintEscaped(std::FILE* out, const char* text) {
  for (const unsigned char* b = reinterpret_cast<const unsigned char*>(text); *b != 0; ++b) {
    if (*b == '\n' || (*b >= 0x20 && *b < 0x7F)) {
      std::fputc(*b, out);
    } else {
      std::fprintf(out, "\\x%02X", *b);
    }
  }
}

bool ParseScript(std::FILE* in, std::vector<ScriptRun>& runs, char* error, size_t errorSize) {
  char line[MAX_LINE + 2];
  size_t length = 0;
  bool tooLong = false;
  int64_t total = 0;
  for (int number = 1; ReadLine(in, line, length, tooLong); ++number) {
    if (tooLong) {
      std::snprintf(error, errorSize, "script line %d: longer than %d characters", number,
                    static_cast<int>(MAX_LINE));
      return false;
    }
    const long control = FirstControlByte(line, length);
    if (control >= 0) {
      std::snprintf(error, errorSize, "script line %d: control character \\x%02X at column %ld", number,
                    static_cast<unsigned char>(line[control]), control + 1);
      return false;
    }
    if (char* comment = std::strchr(line, '#')) *comment = '\0';
    char* words[4];
    int count = 0;
    for (char* w = std::strtok(line, " \t"); w != nullptr; w = std::strtok(nullptr, " \t")) {
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
        frames > RECORDING_MAX_FRAMES) {
      std::snprintf(error, errorSize, "script line %d: frame count '%.40s' is not a number from 1 to %lld", number,
                    words[0], static_cast<long long>(RECORDING_MAX_FRAMES));
      return false;
    }
    // Each line is capped, so the sum cannot overflow before this check.
    total += frames;
    if (total > RECORDING_MAX_FRAMES) {
      std::snprintf(error, errorSize,
                    "script line %d: the script runs past %lld frames in all, the most a run may play", number,
                    static_cast<long long>(RECORDING_MAX_FRAMES));
      return false;
    }
    ScriptRun run = {frames, {Action::NoAction, Action::NoAction}};
    for (int p = 0; p < 2; ++p) {
      if (!ParseAction(words[1 + p], run.action[p])) {
        std::snprintf(error, errorSize, "script line %d: unknown action '%.40s' for player %d", number,
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
