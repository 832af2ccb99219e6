// Fuzz target: the recording reader on any bytes, and a recording it accepts
// run through the engine (short ones only, so that no input can hang).
#include <cstddef>
#include <cstdint>

#include "replay/replay_run.h"

namespace {

Action fedActions[2];
uint32_t fedTick;

void FeedActions(const Action action[2]) {
  fedActions[0] = action[0];
  fedActions[1] = action[1];
}
void FeedTick(uint32_t tick) { fedTick = tick; }

constexpr int64_t MAX_FRAMES_RUN = 3000;

}  // namespace

// The engine's host: the recording's input, no drawing.
void ArmGravityTimer(int, uint32_t) {}
void ShowLabels(int, const char*, const char*) {}
void RequestRepaint() {}
Action ActionSource(int p) { return fedActions[p]; }
void ClearWellImage(int) {}
void DrawTitle(int) {}
void DrawPlayer(int p) {
  ComposeDrawBoard(p);
  if (gameState.previewBlind[p] != 0) gameState.previewBlind[p] -= 1;
}
void DrawSwapBox() {}
void PlaySoundEvent(int, SoundEvent) {}
uint32_t ReadTickCount() { return fedTick; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Recording recording;
  char error[256];
  if (!ReadRecording(reinterpret_cast<const char*>(data), size, recording, error, sizeof error)) return 0;
  int64_t frames = 0;
  for (const RecordedEvent& e : recording.events) frames += e.kind == EventKind::Frames ? e.count : 0;
  if (frames > MAX_FRAMES_RUN) return 0;
  gameState = {};
  randState = 0;
  gameState.gameOver[0] = gameState.gameOver[1] = true;
  ReplayRun run;
  BeginReplay(run, recording, ReplayFeed{FeedActions, FeedTick});
  while (ReplayNextFrame(run) == ReplayStep::Frame) {
  }
  return 0;
}
