// The recorder: turns the host's hooks into recording lines in a fixed
// buffer and hands them to the sink at every digest (at least once a second
// of play), so a crash loses at most the last second.
#include <cstring>

#include "replay/recording.h"

namespace {

void Flush(Recorder& r) {
  if (!r.open || r.used == 0) return;
  const bool written = r.sink(r.context, r.buffer, r.used);
  r.used = 0;
  if (!written) {
    // One failure ends the recording; the match goes on without it.
    r.failed = true;
    r.open = false;
    r.live = false;
  }
}

// A line under construction, appended to the buffer whole by End().
struct Line {
  char text[RECORDING_MAX_LINE + 2];
  size_t n = 0;
  Line& Word(const char* w) {
    if (n != 0) text[n++] = ' ';
    while (*w != '\0' && n < RECORDING_MAX_LINE) text[n++] = *w++;
    return *this;
  }
  Line& Number(uint64_t magnitude, bool negative) {
    char digits[24];
    int k = 0;
    do {
      digits[k++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (n != 0) text[n++] = ' ';
    if (negative) text[n++] = '-';
    while (k > 0) text[n++] = digits[--k];
    return *this;
  }
  Line& Unsigned(uint64_t v) { return Number(v, false); }
  Line& Signed(int32_t v) {
    const int64_t wide = v;
    return Number(static_cast<uint64_t>(wide < 0 ? -wide : wide), wide < 0);
  }
  Line& Hex(uint64_t v, int digits) {
    if (n != 0) text[n++] = ' ';
    for (int i = digits - 1; i >= 0; --i) text[n++] = "0123456789abcdef"[(v >> (4 * i)) & 0xF];
    return *this;
  }
  Line& Act(Action a) {
    const uint32_t i = static_cast<uint32_t>(a);
    if (i < static_cast<uint32_t>(RECORDED_ACTIONS)) return Word(RECORDED_ACTION_NAMES[i]);
    return Signed(static_cast<int32_t>(a));
  }
};

void End(Recorder& r, Line& line) {
  if (!r.open) return;
  if (r.used + line.n + 1 > sizeof r.buffer) Flush(r);
  if (!r.open) return;
  std::memcpy(r.buffer + r.used, line.text, line.n);
  r.used += line.n;
  r.buffer[r.used++] = '\n';
}

void FlushRun(Recorder& r) {
  if (r.runFrames == 0) return;
  Line line;
  line.Word("frames").Unsigned(static_cast<uint64_t>(r.runFrames));
  for (int p = 0; p < PLAYERS; ++p) {
    if (r.runOut[p]) {
      line.Word("out");
    } else {
      line.Act(r.runAction[p]);
    }
  }
  End(r, line);
  r.runFrames = 0;
}

void WriteDigest(Recorder& r, DigestKind kind) {
  FlushRun(r);
  Line line;
  line.Word("digest").Word(DIGEST_KIND_NAMES[static_cast<int>(kind)]).Hex(DigestGameState(), 16);
  End(r, line);
  r.framesSinceDigest = 0;
  Flush(r);
}

// After a frame or gravity tick: a player who went out gets a digest at once
// (and with both out the match is over); otherwise one per second of frames.
void AfterTick(Recorder& r) {
  bool wentOut = false;
  for (int p = 0; p < PLAYERS; ++p) {
    if (gameState.gameOver[p] && !r.wasOut[p]) wentOut = true;
    r.wasOut[p] = gameState.gameOver[p];
  }
  if (wentOut) {
    WriteDigest(r, DigestKind::Over);
    if (r.wasOut[0] && r.wasOut[1]) r.live = false;
  } else if (r.framesSinceDigest >= DIGEST_EVERY_FRAMES) {
    WriteDigest(r, DigestKind::Second);
  }
}

}  // namespace

bool RecorderOpen(Recorder& r, RecordingSink sink, void* context, const char* version) {
  r = Recorder{};
  r.sink = sink;
  r.context = context;
  r.open = true;
  Line line;
  line.Word(RECORDING_MAGIC).Unsigned(RECORDING_FORMAT).Word(version);
  End(r, line);
  Flush(r);
  return r.open;
}

void RecorderClose(Recorder& r) {
  if (r.live) WriteDigest(r, DigestKind::End);
  Flush(r);
  r.open = false;
  r.live = false;
}

void RecordActionAsked(Recorder& r, int p, Action a) {
  if (r.also != nullptr) RecordActionAsked(*r.also, p, a);
  if (!r.open || !ValidPlayer(p)) return;
  r.asked[p] = true;
  r.action[p] = a;
}

void RecordTickRead(Recorder& r, uint32_t tick) {
  if (r.also != nullptr) RecordTickRead(*r.also, tick);
  if (!r.open) return;
  r.startTickRead = true;
  r.startTick = tick;
}

void RecordBeforeStart(Recorder& r) {
  if (r.also != nullptr) RecordBeforeStart(*r.also);
  if (!r.open) return;
  // A Start during a match ends it: prove the state it reached.
  if (r.live) WriteDigest(r, DigestKind::End);
  MatchStart& s = r.pending;
  s.rngSeeded = gameState.rngSeeded;
  s.randState = randState;
  for (int p = 0; p < PLAYERS; ++p) {
    s.rngSeed[p] = gameState.rngSeed[p];
    s.shadowOn[p] = gameState.shadowOn[p];
    std::memcpy(s.drawBoard[p], gameState.drawBoard[p], sizeof(Board));
  }
  r.startTickRead = false;
  r.startTick = 0;
}

void RecordAfterStart(Recorder& r) {
  if (r.also != nullptr) RecordAfterStart(*r.also);
  if (!r.open) return;
  const MatchStart& s = r.pending;
  Line line;
  line.Word("start").Unsigned(s.rngSeeded ? 1 : 0).Unsigned(s.randState).Signed(s.rngSeed[0]).Signed(s.rngSeed[1]);
  line.Unsigned(r.startTickRead ? r.startTick : 0).Unsigned(s.shadowOn[0]).Unsigned(s.shadowOn[1]);
  End(r, line);
  for (int p = 0; p < PLAYERS; ++p) {
    // The picture a player out at once (or paused at once) keeps showing.
    Line board;
    board.Word("board").Unsigned(static_cast<uint64_t>(p));
    board.text[board.n++] = ' ';
    for (int j = 0; j < WELL_COLUMNS * WELL_ROWS; ++j) {
      board.text[board.n++] = "0123456789abcdef"[static_cast<uint32_t>(s.drawBoard[p][j]) & 0xF];
    }
    End(r, board);
  }
  r.live = true;
  r.runFrames = 0;
  r.framesSinceDigest = 0;
  r.asked[0] = r.asked[1] = false;
  for (int p = 0; p < PLAYERS; ++p) r.wasOut[p] = gameState.gameOver[p];
  Flush(r);
}

void RecordFrame(Recorder& r) {
  if (r.also != nullptr) RecordFrame(*r.also);
  const bool asked[2] = {r.asked[0], r.asked[1]};
  r.asked[0] = r.asked[1] = false;
  if (!r.open || !r.live) return;
  bool same = r.runFrames != 0;
  for (int p = 0; p < PLAYERS && same; ++p) {
    same = r.runOut[p] == !asked[p] && (!asked[p] || r.runAction[p] == r.action[p]);
  }
  if (!same) {
    FlushRun(r);
    for (int p = 0; p < PLAYERS; ++p) {
      r.runOut[p] = !asked[p];
      r.runAction[p] = asked[p] ? r.action[p] : Action::NoAction;
    }
  }
  r.runFrames += 1;
  r.framesSinceDigest += 1;
  AfterTick(r);
}

// The gravity line of a tick already run; `counts` was judged before it.
static void NoteGravity(Recorder& r, int p, bool counts) {
  if (r.also != nullptr) NoteGravity(*r.also, p, counts);
  if (!counts || !r.open || !r.live) return;
  FlushRun(r);
  Line line;
  line.Word("gravity").Unsigned(static_cast<uint64_t>(p));
  End(r, line);
  AfterTick(r);
}

void RecordedGravityTick(Recorder& r, int p) {
  const bool counts = ValidPlayer(p) && !gameState.gameOver[p] && !gameState.paused;
  GravityTick(p);
  NoteGravity(r, p, counts);
}

void RecordShadow(Recorder& r, int p) {
  if (r.also != nullptr) RecordShadow(*r.also, p);
  if (!r.open || !r.live || !ValidPlayer(p)) return;
  FlushRun(r);
  Line line;
  line.Word("shadow").Unsigned(static_cast<uint64_t>(p)).Unsigned(gameState.shadowOn[p]);
  End(r, line);
}

void RecordStop(Recorder& r) {
  if (r.also != nullptr) RecordStop(*r.also);
  if (!r.open || !r.live) return;
  FlushRun(r);
  Line line;
  line.Word("stop");
  End(r, line);
  r.live = false;
  WriteDigest(r, DigestKind::Stop);
}
