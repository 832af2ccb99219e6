// The recording reader: checks every line of a recording held in memory and
// turns it into match starts and events. Nothing is run here, so a caller
// can refuse a bad file before it has played any of it.
#include <cstdio>
#include <cstring>

#include "replay/recording.h"

namespace {

constexpr int MAX_WORDS = 9;

struct Words {
  char text[RECORDING_MAX_LINE + 1];
  const char* word[MAX_WORDS];
  int count;
};

// Splits a line at spaces; false when it has more than MAX_WORDS words.
bool Split(const char* line, size_t length, Words& w) {
  std::memcpy(w.text, line, length);
  w.text[length] = '\0';
  w.count = 0;
  char* c = w.text;
  while (*c != '\0') {
    while (*c == ' ') *c++ = '\0';
    if (*c == '\0') break;
    if (w.count == MAX_WORDS) return false;
    w.word[w.count++] = c;
    while (*c != '\0' && *c != ' ') ++c;
  }
  return true;
}

// Decimal digits only (a leading '-' where min allows it), within [min, max].
bool Number(const char* text, int64_t min, int64_t max, int64_t& value) {
  const bool negative = *text == '-';
  if (negative) ++text;
  if (*text == '\0' || std::strlen(text) > 18) return false;
  int64_t v = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
    v = v * 10 + (*text - '0');
  }
  if (negative) v = -v;
  if (v < min || v > max) return false;
  value = v;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// An action name, a number for a value outside the names, or "out".
bool ParsePlayerAction(const char* word, bool& out, Action& action) {
  out = std::strcmp(word, "out") == 0;
  action = Action::NoAction;
  if (out) return true;
  for (int32_t i = 0; i < RECORDED_ACTIONS; ++i) {
    if (std::strcmp(word, RECORDED_ACTION_NAMES[i]) == 0) {
      action = static_cast<Action>(i);
      return true;
    }
  }
  int64_t v;
  if (!Number(word, INT32_MIN, INT32_MAX, v) || (v >= 0 && v < RECORDED_ACTIONS)) return false;
  action = static_cast<Action>(static_cast<int32_t>(v));
  return true;
}

class Reader {
 public:
  Reader(Recording& out, char* error, size_t errorSize) : out_(out), error_(error), errorSize_(errorSize) {}

  bool Fail(const char* what) {
    std::snprintf(error_, errorSize_, "line %u: %s", line_, what);
    return false;
  }

  bool Header(const Words& w) {
    if (w.count < 1 || std::strcmp(w.word[0], RECORDING_MAGIC) != 0) return Fail("not a BlockTide recording");
    int64_t format;
    if (w.count != 3 || !Number(w.word[1], 1, INT32_MAX, format)) {
      return Fail("expected 'blocktide-recording FORMAT VERSION'");
    }
    if (format > RECORDING_FORMAT) {
      char what[96];
      std::snprintf(what, sizeof what, "recording format %lld is newer than this program reads (%d)",
                    static_cast<long long>(format), RECORDING_FORMAT);
      return Fail(what);
    }
    if (std::strlen(w.word[2]) >= sizeof out_.version) return Fail("program version longer than 31 characters");
    out_.format = static_cast<int32_t>(format);
    std::strcpy(out_.version, w.word[2]);
    return true;
  }

  bool Event(const Words& w) {
    if (w.count == 0) return Fail("empty line");
    const char* key = w.word[0];
    if (boardsDue_ != 0 && std::strcmp(key, "board") != 0) return Fail("expected 'board P CELLS' after start");
    if (out_.events.size() >= RECORDING_MAX_EVENTS) return Fail("more events than a recording may hold");
    RecordedEvent e = {};
    e.line = line_;
    int64_t v[7];
    if (std::strcmp(key, "start") == 0) {
      if (w.count != 8 || !Number(w.word[1], 0, 1, v[0]) || !Number(w.word[2], 0, UINT32_MAX, v[1]) ||
          !Number(w.word[3], INT32_MIN, INT32_MAX, v[2]) || !Number(w.word[4], INT32_MIN, INT32_MAX, v[3]) ||
          !Number(w.word[5], 0, UINT32_MAX, v[4]) || !Number(w.word[6], 0, 255, v[5]) ||
          !Number(w.word[7], 0, 255, v[6])) {
        return Fail("expected 'start SEEDED RANDSTATE SEED0 SEED1 TICKS SHADOW0 SHADOW1'");
      }
      MatchStart s = {};
      s.rngSeeded = v[0] != 0;
      s.randState = static_cast<uint32_t>(v[1]);
      s.rngSeed[0] = static_cast<int32_t>(v[2]);
      s.rngSeed[1] = static_cast<int32_t>(v[3]);
      s.tickCount = static_cast<uint32_t>(v[4]);
      s.shadowOn[0] = static_cast<uint8_t>(v[5]);
      s.shadowOn[1] = static_cast<uint8_t>(v[6]);
      e.kind = EventKind::Start;
      e.count = static_cast<int64_t>(out_.starts.size());
      out_.starts.push_back(s);
      boardsDue_ = 2;
      startLine_ = line_;
    } else if (std::strcmp(key, "board") == 0) {
      const int64_t expected = 2 - boardsDue_;
      if (boardsDue_ == 0) return Fail("'board' only follows 'start'");
      if (w.count != 3 || !Number(w.word[1], expected, expected, v[0]) ||
          std::strlen(w.word[2]) != static_cast<size_t>(WELL_COLUMNS * WELL_ROWS)) {
        return Fail(expected == 0 ? "expected 'board 0' and 200 cells" : "expected 'board 1' and 200 cells");
      }
      Board& board = out_.starts.back().drawBoard[expected];
      for (int j = 0; j < WELL_COLUMNS * WELL_ROWS; ++j) {
        const int d = HexDigit(w.word[2][j]);
        if (d < 0 || d > GHOST) return Fail("a board cell is not a digit from 0 to 8");
        board[j] = d;
      }
      boardsDue_ -= 1;
      return true;  // part of the start event
    } else if (out_.events.empty()) {
      return Fail("expected 'start' first");
    } else if (std::strcmp(key, "frames") == 0) {
      if (w.count != 4 || !Number(w.word[1], 1, RECORDING_MAX_FRAMES, v[0])) {
        return Fail("expected 'frames COUNT ACTION0 ACTION1' with a count from 1 to 100000000");
      }
      for (int p = 0; p < PLAYERS; ++p) {
        if (!ParsePlayerAction(w.word[2 + p], e.out[p], e.action[p])) return Fail("unknown action");
      }
      frames_ += v[0];
      if (frames_ > RECORDING_MAX_FRAMES) return Fail("more than 100000000 frames in all");
      e.kind = EventKind::Frames;
      e.count = v[0];
    } else if (std::strcmp(key, "gravity") == 0) {
      if (w.count != 2 || !Number(w.word[1], 0, 1, v[0])) return Fail("expected 'gravity P' with P 0 or 1");
      e.kind = EventKind::Gravity;
      e.player = static_cast<uint8_t>(v[0]);
    } else if (std::strcmp(key, "shadow") == 0) {
      if (w.count != 3 || !Number(w.word[1], 0, 1, v[0]) || !Number(w.word[2], 0, 255, v[1])) {
        return Fail("expected 'shadow P VALUE' with P 0 or 1 and VALUE 0 to 255");
      }
      e.kind = EventKind::Shadow;
      e.player = static_cast<uint8_t>(v[0]);
      e.value = static_cast<uint8_t>(v[1]);
    } else if (std::strcmp(key, "stop") == 0) {
      if (w.count != 1) return Fail("expected 'stop' alone");
      e.kind = EventKind::Stop;
    } else if (std::strcmp(key, "digest") == 0) {
      int kind = -1;
      for (int k = 0; w.count == 3 && k < DIGEST_KINDS; ++k) {
        if (std::strcmp(w.word[1], DIGEST_KIND_NAMES[k]) == 0) kind = k;
      }
      if (kind < 0 || std::strlen(w.word[2]) != 16) return Fail("expected 'digest KIND HEX' with 16 hex digits");
      for (int i = 0; i < 16; ++i) {
        const int d = HexDigit(w.word[2][i]);
        if (d < 0) return Fail("expected 'digest KIND HEX' with 16 hex digits");
        e.digest = e.digest << 4 | static_cast<uint64_t>(d);
      }
      e.kind = EventKind::Digest;
      e.value = static_cast<uint8_t>(kind);
    } else {
      return Fail("unknown event");
    }
    out_.events.push_back(e);
    return true;
  }

  bool Run(const char* data, size_t size) {
    out_.format = 0;
    out_.version[0] = '\0';
    out_.starts.clear();
    out_.events.clear();
    line_ = 1;
    if (size == 0) return Fail("empty file, not a recording");
    if (size > RECORDING_MAX_BYTES) return Fail("file larger than 256 MiB");
    size_t pos = 0;
    for (; pos < size; ++line_) {
      const size_t rest = size - pos;
      const size_t window = rest < RECORDING_MAX_LINE + 2 ? rest : RECORDING_MAX_LINE + 2;
      const char* end = static_cast<const char*>(std::memchr(data + pos, '\n', window));
      if (end == nullptr) {
        return Fail(rest > RECORDING_MAX_LINE + 1 ? "longer than 255 characters" : "cut short (no end of line)");
      }
      size_t length = static_cast<size_t>(end - (data + pos));
      if (length > 0 && data[pos + length - 1] == '\r') length -= 1;
      if (length > RECORDING_MAX_LINE) return Fail("longer than 255 characters");
      for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[pos + i]);
        if (c < 0x20 || c > 0x7E) return Fail("not text (a control or non-ASCII byte)");
      }
      Words w;
      if (!Split(data + pos, length, w)) return Fail("too many words");
      if (!(line_ == 1 ? Header(w) : Event(w))) return false;
      pos = static_cast<size_t>(end - data) + 1;
    }
    if (boardsDue_ != 0) {
      char what[80];
      std::snprintf(what, sizeof what, "the file ends inside the start of line %u", startLine_);
      return Fail(what);
    }
    return true;
  }

 private:
  Recording& out_;
  char* error_;
  size_t errorSize_;
  uint32_t line_ = 0;
  uint32_t startLine_ = 0;
  int boardsDue_ = 0;
  int64_t frames_ = 0;
};

}  // namespace

bool ReadRecording(const char* data, size_t size, Recording& out, char* error, size_t errorSize) {
  Reader reader(out, error, errorSize);
  return reader.Run(data, size);
}
