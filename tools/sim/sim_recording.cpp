// blocktide-sim's recordings: --record writes the match played, as the
// window does; --replay runs a recording's events through the engine, checks
// every digest and prints the wells at the end.
#include <cstring>
#include <vector>

#include "engine/frame_gravity.h"
#include "replay/replay_run.h"
#include "tools/sim/sim.h"

Recorder simRecorder;

namespace {

// "blocktide-sim: WHAT PATH[: DETAIL]", the path escaped as every message's.
void Complain(const char* what, const char* path, const char* detail = nullptr) {
  std::fprintf(stderr, "blocktide-sim: %s", what);
  PrintEscaped(stderr, path);
  if (detail != nullptr) std::fprintf(stderr, ": %s", detail);
  std::fputc('\n', stderr);
}

bool WriteToFile(void* context, const char* bytes, size_t count) {
  std::FILE* out = static_cast<std::FILE*>(context);
  return std::fwrite(bytes, 1, count, out) == count && std::fflush(out) == 0;
}

void HoldActions(const Action action[2]) {
  simState.held[0] = action[0];
  simState.held[1] = action[1];
}

void SetTickCount(uint32_t tick) { simState.tickCount = tick; }

}  // namespace

bool OpenSimRecording(const char* path) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  if (RecorderOpen(simRecorder, WriteToFile, out, BLOCKTIDE_VERSION_STRING)) return true;
  std::fclose(out);
  return false;
}

bool CloseSimRecording() {
  if (simRecorder.sink == nullptr) return true;
  RecorderClose(simRecorder);
  std::FILE* out = static_cast<std::FILE*>(simRecorder.context);
  const bool closed = std::fclose(out) == 0;
  return closed && !simRecorder.failed;
}

int RunReplay(const char* path) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) {
    Complain("cannot open the recording: ", path);
    return 2;
  }
  // Read one byte past the limit, so that a larger file is seen and refused.
  std::vector<char> data;
  char chunk[65536];
  size_t got;
  while (data.size() <= RECORDING_MAX_BYTES && (got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
    data.insert(data.end(), chunk, chunk + got);
  }
  const bool readError = std::ferror(in) != 0;
  std::fclose(in);
  if (readError) {
    Complain("cannot read the recording: ", path);
    return 2;
  }
  Recording recording;
  char error[256];
  if (!ReadRecording(data.data(), data.size(), recording, error, sizeof error)) {
    Complain("", path, error);
    return 2;
  }

  // As the window starts: both players out until the first Start.
  simState = SimState{};
  frameGravity = FrameGravity{};
  gameState = {};
  randState = 0;
  gameState.gameOver[0] = gameState.gameOver[1] = true;
  ReplayRun run;
  BeginReplay(run, recording, ReplayFeed{HoldActions, SetTickCount});
  ReplayStep step;
  while ((step = ReplayNextFrame(run)) == ReplayStep::Frame) {
    AdvanceFrameGravity(frameGravity);
    PrintMatchEnds();
  }
  PrintMatchEnds();
  if (step == ReplayStep::Diverged) {
    std::fprintf(stderr, "blocktide-sim: diverged at line %u (after %lld frames)\n", run.divergedLine,
                 static_cast<long long>(run.frames));
    return 1;
  }
  PrintWells(stdout, run.frames);
  std::printf("replay: all %lld digests matched\n", static_cast<long long>(run.digestsMatched));
  return 0;
}
