// The frame runner and the one way an agreed frame acts: what the window,
// the simulator and the tests call, so that all run a network frame alike.
#include <cstdint>

#include "engine/engine.h"
#include "engine/frame_gravity.h"
#include "net/net_digest.h"
#include "net/net_lockstep.h"
#include "net/net_pace.h"
#include "replay/recording.h"

namespace {

// The generator the host chose, set before the recorder notes the Start,
// so that a replay sets it as well.
void SetNetGenerator(const NetGenerator& g) {
  gameState.rngSeeded = true;
  gameState.rngSeed[0] = static_cast<int32_t>(g.seed[0]);
  gameState.rngSeed[1] = static_cast<int32_t>(g.seed[1]);
  randState = g.state;
}

bool MatchRuns() { return !(gameState.gameOver[0] && gameState.gameOver[1]); }

}  // namespace

NetRun NetRunFrames(NetSession& s, uint32_t nowMs, int32_t maxFrames, const NetFrameCalls& calls) {
  NetRun run{0, false, false};
  if (!NetPlaying(s)) return run;
  DropLateFrames(s, nowMs);
  while (run.ran < maxFrames && NetPlaying(s)) {
    if (!FrameDue(s, nowMs, run.held)) break;
    if (WantsLocal(s)) SubmitLocal(s, calls.localAction(calls.context, s.localPlayer), nowMs);
    NetFrame frame;
    if (!NextFrame(s, frame, nowMs)) {
      run.waited = true;
      if (s.waitedFrame != s.frame + 1) s.counters.waits += 1;
      s.waitedFrame = s.frame + 1;
      break;
    }
    run.ran += 1;
    const bool more = calls.runFrame(calls.context, frame);
    DigestFrameDone(s, nowMs);
    if (!more) break;
  }
  return run;
}

void NetBeginMatchState() {
  gameState = GameState{};
  gameState.gameOver[0] = gameState.gameOver[1] = true;
  matchFigures = MatchFigures{};
  randState = 0;
  frameGravity = FrameGravity{};
  for (int p = 0; p < PLAYERS; ++p) ArmFrameGravity(frameGravity, p, GRAVITY_BASE_MS);
}

void NetApplyFrame(const NetFrame& f, const NetFrameHost& host) {
  if (f.start) {
    SetNetGenerator(f.generator);
    if (host.beforeStart != nullptr) host.beforeStart(host.context);
    if (host.recorder != nullptr) RecordBeforeStart(*host.recorder);
    ResetPlayer(0);
    ResetPlayer(1);
    if (host.recorder != nullptr) RecordAfterStart(*host.recorder);
    if (host.afterStart != nullptr) host.afterStart(host.context);
  }
  if (f.stop && MatchRuns()) {
    gameState.gameOver[0] = gameState.gameOver[1] = true;
    EndMatchIfOver();
    if (host.recorder != nullptr) RecordStop(*host.recorder);
  }
  for (int p = 0; p < PLAYERS; ++p) {
    if (!f.shadowSet[p]) continue;
    gameState.shadowOn[p] = f.shadow[p];
    if (host.recorder != nullptr) RecordShadow(*host.recorder, p);
    if (host.shadowShown != nullptr) host.shadowShown(host.context, p);
  }
  AdvanceFrameGravity(frameGravity);
  if (host.tick != nullptr) host.tick(host.context, f.action);
  if (host.gravity != nullptr) RunDueGravity(frameGravity, host.gravity);
}
