// Recordings: a scripted match recorded through the test host replays to the
// same state; a changed byte is found at its line; bad files are refused with
// the line named; a failing sink stops the recording, not the match.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "replay/replay_run.h"
#include "tests/engine/test_host.h"

namespace {

bool ToString(void* context, const char* bytes, size_t count) {
  static_cast<std::string*>(context)->append(bytes, count);
  return true;
}

// Plays frames with the test host while recording; gravity every `period`
// frames for player 0, every period + 3 for player 1 (a different beat).
struct RecordedPlay {
  Recorder rec;
  std::string text;
  Recorder kept;  // fed through rec.also, as the window's kept match
  std::string keptText;
  int64_t frame = 0;

  void Frames(int n, Action a0, Action a1, int period = 40) {
    for (int f = 0; f < n; ++f, ++frame) {
      testHost.held[0] = a0;
      testHost.held[1] = a1;
      const int32_t asked[2] = {testHost.samples[0], testHost.samples[1]};
      FrameTick();
      for (int p = 0; p < 2; ++p) {
        if (testHost.samples[p] != asked[p]) RecordActionAsked(rec, p, testHost.held[p]);
      }
      RecordFrame(rec);
      for (int p = 0; p < 2; ++p) {
        if (frame % (period + 3 * p) != 0) continue;
        RecordedGravityTick(rec, p);
      }
    }
  }
  void Start() {
    RecordBeforeStart(rec);
    const int32_t reads = testHost.tickReads;
    ResetPlayer(0);
    ResetPlayer(1);
    if (testHost.tickReads != reads) RecordTickRead(rec, testHost.tickCount);
    RecordAfterStart(rec);
  }
};

void FreshProcess() {
  gameState = {};
  randState = 0;
  ResetTestHost();
  gameState.gameOver[0] = gameState.gameOver[1] = true;
}

void FeedActions(const Action action[2]) {
  testHost.held[0] = action[0];
  testHost.held[1] = action[1];
}
void FeedTick(uint32_t tick) { testHost.tickCount = tick; }

// Replays `text` from a fresh process; the step that ended it.
ReplayStep Replay(const std::string& text, ReplayRun& run, Recording& recording) {
  char error[160] = "";
  EXPECT_TRUE(ReadRecording(text.data(), text.size(), recording, error, sizeof error)) << error;
  FreshProcess();
  testHost.tickCount = 0xbdbdbdbd;  // only the recording may seed the streams
  BeginReplay(run, recording, ReplayFeed{FeedActions, FeedTick});
  ReplayStep step;
  while ((step = ReplayNextFrame(run)) == ReplayStep::Frame) {
  }
  return step;
}

// The number (1-based) of the first line at or after `from` starting with `prefix`.
uint32_t LineOf(const std::string& text, const std::string& prefix, uint32_t from = 1) {
  uint32_t line = 1;
  for (size_t pos = 0; pos < text.size(); pos = text.find('\n', pos) + 1, ++line) {
    if (line >= from && text.compare(pos, prefix.size(), prefix) == 0) return line;
    if (text.find('\n', pos) == std::string::npos) break;
  }
  return 0;
}

size_t OffsetOfLine(const std::string& text, uint32_t line) {
  size_t pos = 0;
  for (uint32_t l = 1; l < line; ++l) pos = text.find('\n', pos) + 1;
  return pos;
}

// Two matches in one run, the second started during the first: seeding from
// the tick count, a paused stretch, a shadow switch turned on with any byte,
// a tetris-free but busy game, and Stop.
std::string RecordTwoMatches(GameState& end, uint32_t& endRand) {
  FreshProcess();
  testHost.tickCount = 987654321;
  RecordedPlay play;
  EXPECT_TRUE(RecorderOpen(play.rec, ToString, &play.text, "9.9.9"));
  EXPECT_TRUE(RecorderOpen(play.kept, ToString, &play.keptText, "9.9.9"));
  play.rec.also = &play.kept;
  play.Frames(30, Action::Left, Action::Right);  // before any Start: not recorded
  play.Start();
  play.Frames(150, Action::Left, Action::RotateCW);
  play.Frames(60, Action::Fall, Action::NoAction);
  play.Frames(25, Action::NoAction, Action::Pause);
  play.Frames(80, Action::Right, Action::NoAction);
  play.Frames(3, Action::Pause, Action::NoAction);
  gameState.shadowOn[1] = 0x80;
  RecordShadow(play.rec, 1);
  play.Frames(400, Action::Fall, Action::Swap, 7);
  play.Start();
  play.Frames(300, Action::RotateCCW, Action::Fall, 3);
  play.Frames(120, Action::SpeedUp, Action::Left);
  gameState.gameOver[0] = gameState.gameOver[1] = true;
  RecordStop(play.rec);
  play.Frames(500, Action::Left, Action::Left);  // after Stop: not recorded
  RecorderClose(play.rec);
  EXPECT_FALSE(play.rec.failed);
  RecorderClose(play.kept);
  EXPECT_EQ(play.text, play.keptText) << "the second recorder heard every hook";
  end = gameState;
  endRand = randState;
  return play.text;
}

}  // namespace

TEST(Recording, ScriptedMatchReplaysToTheSameState) {
  GameState end;
  uint32_t endRand;
  const std::string text = RecordTwoMatches(end, endRand);
  ASSERT_EQ(0u, text.rfind("blocktide-recording 1 9.9.9\nstart 0 0 0 0 987654321 0 0\nboard 0 ", 0)) << text;
  EXPECT_NE(0u, LineOf(text, "shadow 1 128")) << "the raw switch byte is kept";
  EXPECT_NE(0u, LineOf(text, "frames 65 right none")) << "identical frames are one line";
  EXPECT_NE(0u, LineOf(text, "digest stop "));
  EXPECT_EQ(0u, LineOf(text, "frames 30 left right")) << "frames before Start are no match";

  ReplayRun run;
  Recording recording;
  ASSERT_EQ(ReplayStep::Finished, Replay(text, run, recording)) << "diverged at line " << run.divergedLine;
  EXPECT_EQ(1138, run.frames);
  int digests = 0;
  for (size_t pos = text.find("\ndigest "); pos != std::string::npos; pos = text.find("\ndigest ", pos + 1)) {
    ++digests;
  }
  EXPECT_EQ(digests, run.digestsMatched);
  EXPECT_GE(digests, 12) << "one a second, one at each end";
  // Compared without the digest, so that a digest blind to a field cannot hide it.
  EXPECT_EQ(endRand, randState);
  EXPECT_EQ(0, std::memcmp(end.board, gameState.board, sizeof end.board));
  EXPECT_EQ(0, std::memcmp(end.drawBoard, gameState.drawBoard, sizeof end.drawBoard));
  EXPECT_EQ(0, std::memcmp(end.curPiece, gameState.curPiece, sizeof end.curPiece));
  EXPECT_EQ(0, std::memcmp(end.score, gameState.score, sizeof end.score));
  EXPECT_EQ(0, std::memcmp(end.rngSeed, gameState.rngSeed, sizeof end.rngSeed));
  EXPECT_EQ(end.shadowOn[1], gameState.shadowOn[1]);
}

TEST(Recording, ChangedByteIsFoundAtItsLine) {
  GameState end;
  uint32_t endRand;
  const std::string text = RecordTwoMatches(end, endRand);
  ReplayRun run;
  Recording recording;

  // A digest's last hex digit.
  const uint32_t digestLine = LineOf(text, "digest second", 8);
  std::string changed = text;
  char& digit = changed[OffsetOfLine(changed, digestLine + 1) - 2];
  digit = digit == '0' ? '1' : '0';
  EXPECT_EQ(ReplayStep::Diverged, Replay(changed, run, recording));
  EXPECT_EQ(digestLine, run.divergedLine);

  // A player's action changed: the piece lands elsewhere.
  const size_t fall = text.find(" fall none\n");
  ASSERT_NE(std::string::npos, fall);
  const uint32_t framesLine = static_cast<uint32_t>(std::count(text.begin(), text.begin() + fall, '\n')) + 1;
  changed = text;
  changed.replace(fall, 5, " left");
  EXPECT_EQ(ReplayStep::Diverged, Replay(changed, run, recording));
  EXPECT_EQ(LineOf(text, "digest", framesLine), run.divergedLine);
}

TEST(Recording, BadFilesAreRefusedNamingTheLine) {
  GameState end;
  uint32_t endRand;
  const std::string good = RecordTwoMatches(end, endRand);
  const std::string head = "blocktide-recording 1 1.0.0\n";
  const std::string start = "start 1 5 6 7 0 0 0\nboard 0 " + std::string(200, '0') + "\nboard 1 " +
                            std::string(200, '0') + "\n";
  struct Case {
    std::string text;
    const char* error;
  };
  const Case cases[] = {
      {"", "line 1: empty file"},
      {good.substr(0, OffsetOfLine(good, 20) + 5), "line 20: cut short"},
      {good.substr(0, OffsetOfLine(good, 4)), "line 4: the file ends inside the start of line 2"},
      {std::string("blocktide-recording 1 1.0\0\n", 28), "line 1: not text"},
      {std::string(4096, '\xbd'), "line 1: longer than 255"},
      {head + start + "frames 3 left none\n" + std::string(100000, 'f') + "\n", "line 6: longer than 255"},
      {head + start + "frames 3 left" + std::string(256 - 17, ' ') + "none\n", "line 5: longer than 255"},
      {head + start + "frames 3 left" + std::string(256 - 17, ' ') + "none\r\n", "line 5: longer than 255"},
      {"blocktide-recording 2 1.0.0\n", "line 1: recording format 2 is newer than this program reads (1)"},
      {head + "frames 3 left none\n", "line 2: expected 'start' first"},
      {head + start + "frames 0 left none\n", "line 5: expected 'frames COUNT"},
      {head + start + "frames 3 left jump\n", "line 5: unknown action"},
      {head + start + "frames 100000000 left none\nframes 1 left none\n", "line 6: more than 100000000 frames"},
      {head + start + "digest second 0123456789abcdeF\n", "line 5: expected 'digest KIND HEX'"},
      {head + start + "board 0 " + std::string(200, '0') + "\n", "line 5: 'board' only follows 'start'"},
      {head + "start 1 5 6 7 0 0 0\nboard 0 " + std::string(199, '0') + "9\n", "line 3: a board cell"},
      {head + "start 1 4294967296 6 7 0 0 0\n", "line 2: expected 'start SEEDED"},
      {head + start + "\n", "line 5: empty line"},
  };
  for (const Case& c : cases) {
    Recording recording;
    char error[160];
    std::memset(error, 0xbd, sizeof error);
    EXPECT_FALSE(ReadRecording(c.text.data(), c.text.size(), recording, error, sizeof error)) << c.error;
    ASSERT_NE(nullptr, std::memchr(error, '\0', sizeof error)) << c.error;
    EXPECT_NE(std::string::npos, std::string(error).find(c.error)) << "got: " << error;
  }
  Recording recording;
  char error[160];
  const std::string crlf = head + "start 1 5 -6 7 0 0 0\r\nboard 0 " + std::string(200, '8') + "\r\nboard 1 " +
                           std::string(200, '0') + "\nframes 3 out 12\n";
  EXPECT_TRUE(ReadRecording(crlf.data(), crlf.size(), recording, error, sizeof error)) << error;
  EXPECT_EQ(-6, recording.starts.at(0).rngSeed[0]);
  EXPECT_EQ(GHOST, recording.starts.at(0).drawBoard[0][199]);
  EXPECT_TRUE(recording.events.at(1).out[0]);
  EXPECT_EQ(12, static_cast<int>(recording.events.at(1).action[1])) << "a value past the names";
  // A line of exactly 255 characters is read, with either end of line; the
  // cases above refuse 256.
  for (const char* end : {"\n", "\r\n"}) {
    const std::string longest = head + start + "frames 3 left" + std::string(255 - 17, ' ') + "none" + end;
    EXPECT_TRUE(ReadRecording(longest.data(), longest.size(), recording, error, sizeof error)) << error;
    EXPECT_EQ(Action::Left, recording.events.at(1).action[0]);
  }
}

TEST(Recording, FailedWriteStopsTheRecordingNotTheMatch) {
  struct Sink {
    int calls = 0;
    int failAt = 0;
  } sink;
  const RecordingSink failing = [](void* context, const char*, size_t) {
    Sink& s = *static_cast<Sink*>(context);
    return ++s.calls < s.failAt;
  };
  sink.failAt = 3;  // the header and the start pass, the first digest fails
  FreshProcess();
  RecordedPlay play;
  ASSERT_TRUE(RecorderOpen(play.rec, failing, &sink, "1"));
  play.Start();
  play.Frames(450, Action::Fall, Action::Left);
  EXPECT_TRUE(play.rec.failed);
  EXPECT_FALSE(play.rec.open);
  EXPECT_EQ(3, sink.calls) << "nothing more is written after the failure";
  EXPECT_FALSE(gameState.gameOver[0]) << "the match goes on";
  EXPECT_GT(testHost.draws[1], 400);
  RecorderClose(play.rec);
  EXPECT_EQ(3, sink.calls);

  sink = Sink{};
  sink.failAt = 1;
  EXPECT_FALSE(RecorderOpen(play.rec, failing, &sink, "1")) << "the header itself failed";
}
