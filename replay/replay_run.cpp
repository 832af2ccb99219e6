// The replay: each recorded event runs exactly as the recording host ran it.
#include "replay/replay_run.h"

#include <cstring>

namespace {

void ApplyStart(const ReplayRun& run, const MatchStart& s) {
  gameState.rngSeeded = s.rngSeeded;
  randState = s.randState;
  for (int p = 0; p < PLAYERS; ++p) {
    gameState.rngSeed[p] = s.rngSeed[p];
    gameState.shadowOn[p] = s.shadowOn[p];
    std::memcpy(gameState.drawBoard[p], s.drawBoard[p], sizeof(Board));
  }
  run.feed.setTickCount(s.tickCount);
  ResetPlayer(0);
  ResetPlayer(1);
}

}  // namespace

void BeginReplay(ReplayRun& run, const Recording& recording, ReplayFeed feed) {
  run = ReplayRun{};
  run.recording = &recording;
  run.feed = feed;
}

ReplayStep ReplayNextFrame(ReplayRun& run) {
  if (run.divergedLine != 0) return ReplayStep::Diverged;
  const std::vector<RecordedEvent>& events = run.recording->events;
  while (run.next < events.size()) {
    const RecordedEvent& e = events[run.next];
    switch (e.kind) {
      case EventKind::Start:
        ApplyStart(run, run.recording->starts[static_cast<size_t>(e.count)]);
        break;
      case EventKind::Frames:
        if (run.runLeft == 0) run.runLeft = e.count;
        // The recording says who was asked for an action: a player out
        // here and not there (or the reverse) has left the recorded match.
        if (gameState.gameOver[0] != e.out[0] || gameState.gameOver[1] != e.out[1]) {
          run.divergedLine = e.line;
          return ReplayStep::Diverged;
        }
        run.feed.setActions(e.action);
        FrameTick();
        run.frames += 1;
        if (--run.runLeft == 0) run.next += 1;
        return ReplayStep::Frame;
      case EventKind::Gravity:
        GravityTick(e.player);
        break;
      case EventKind::Shadow:
        gameState.shadowOn[e.player] = e.value;
        break;
      case EventKind::Stop:
        gameState.gameOver[0] = true;
        gameState.gameOver[1] = true;
        EndMatchIfOver();
        break;
      case EventKind::Digest:
        if (DigestGameState() != e.digest) {
          run.divergedLine = e.line;
          return ReplayStep::Diverged;
        }
        run.digestsMatched += 1;
        break;
    }
    run.next += 1;
  }
  return ReplayStep::Finished;
}
