// Benchmarks of the engine's work per frame and its heaviest single rules,
// with host operations that do nothing but what the renderer asks of the
// engine (DrawPlayer composes drawBoard).
#include <benchmark/benchmark.h>

#include <cstring>

#include "engine/engine.h"
#include "replay/recording.h"

namespace {
Action heldAction[2] = {Action::NoAction, Action::NoAction};
}  // namespace

void ArmGravityTimer(int, uint32_t) {}
void ShowLabels(int, const char* scoreText, const char* levelText) {
  benchmark::DoNotOptimize(scoreText);
  benchmark::DoNotOptimize(levelText);
}
void RequestRepaint() {}
Action ActionSource(int p) { return heldAction[p]; }
void ClearWellImage(int) {}
void DrawTitle(int) {}
void DrawPlayer(int p) { ComposeDrawBoard(p); }
void DrawSwapBox() {}
void PlaySoundEvent(int, SoundEvent) {}
uint32_t ReadTickCount() { return 1000; }

namespace {

void StartMatch() {
  gameState = {};
  gameState.shadowOn[0] = gameState.shadowOn[1] = 1;
  ResetPlayer(0);
  ResetPlayer(1);
}

// Both players in play, moving left and right (never locking): sampling, the
// repeat gate, a shift now and then, the row scan, the labels and drawBoard.
void BM_FrameTick(benchmark::State& state) {
  StartMatch();
  int64_t frame = 0;
  for (auto _ : state) {
    const bool left = (frame / 20) % 2 == 0;
    heldAction[0] = left ? Action::Left : Action::Right;
    heldAction[1] = left ? Action::Right : Action::Left;
    FrameTick();
    ++frame;
  }
  benchmark::DoNotOptimize(gameState.drawBoard);
  if (gameState.gameOver[0] || gameState.gameOver[1]) state.SkipWithError("a player went out");
}
BENCHMARK(BM_FrameTick);

// An upright bar in column 9 with columns 0 to 8 filled from row 14 down:
// the turn and every kick fail, so the search runs to its end and the piece
// is put back, ready for the next iteration.
void BM_RotatePieceFullKickSearch(benchmark::State& state) {
  StartMatch();
  LoadTemplate(gameState.curPiece[0], PieceTable[3]);
  gameState.pieceX[0] = 0;
  RotatePiece(0, true);
  gameState.pieceX[0] = 9;
  gameState.pieceY[0] = 16;
  for (int c = 0; c < 9; ++c) {
    for (int r = 14; r < WELL_ROWS; ++r) gameState.board[0][c * WELL_ROWS + r] = 2;
  }
  for (auto _ : state) {
    RotatePiece(0, true);
    benchmark::DoNotOptimize(gameState.curPiece[0]);
  }
  if (gameState.pieceX[0] != 9 || PieceWidth(gameState.curPiece[0]) != 1) {
    state.SkipWithError("the kick search found a place");
  }
}
BENCHMARK(BM_RotatePieceFullKickSearch);

// Restores player 0's four full rows and player 1's well before each clear;
// BM_ClearLinesSetupOnly measures that restoring alone.
Board fourRows;

void PrepareClear() {
  std::memcpy(gameState.board[0], fourRows, sizeof fourRows);
  std::memset(gameState.board[1], 0, sizeof gameState.board[1]);
  gameState.pieceY[1] = 5;
  gameState.score[0] = 0;
  // The attack counters would otherwise grow without bound over the run.
  gameState.previewBlind[1] = gameState.forcedDrops[1] = gameState.level[1] = 0;
  gameState.gravityFreeze[0] = gameState.level[0] = 0;
}

void SetUpFourRows() {
  StartMatch();
  for (int c = 0; c < WELL_COLUMNS; ++c) {
    for (int r = 0; r < WELL_ROWS; ++r) fourRows[c * WELL_ROWS + r] = r >= 16 ? 1 + c % 7 : (r > 10 && c == 4);
  }
}

void BM_ClearLinesFourRows(benchmark::State& state) {
  SetUpFourRows();
  for (auto _ : state) {
    PrepareClear();
    ClearLines(0);
    benchmark::DoNotOptimize(gameState.board);
  }
  if (gameState.score[0] != 10) state.SkipWithError("four rows were not cleared");
}
BENCHMARK(BM_ClearLinesFourRows);

void BM_ClearLinesSetupOnly(benchmark::State& state) {
  SetUpFourRows();
  for (auto _ : state) {
    PrepareClear();
    benchmark::DoNotOptimize(gameState.board);
  }
}
BENCHMARK(BM_ClearLinesSetupOnly);

}  // namespace

// The recorder's share of a recorded frame: the frame tick with both actions
// changing every frame (a line per frame, the worst case for the run-length
// coding) and a digest every 100 frames, into a sink that keeps nothing.
void BM_FrameTickRecorded(benchmark::State& state) {
  Recorder& recorder = *new Recorder;
  RecorderOpen(recorder, [](void*, const char*, size_t) { return true; }, nullptr, "bench");
  RecordBeforeStart(recorder);
  StartMatch();
  RecordAfterStart(recorder);
  int64_t frame = 0;
  for (auto _ : state) {
    const bool left = frame % 2 == 0;
    heldAction[0] = left ? Action::Left : Action::Right;
    heldAction[1] = left ? Action::Right : Action::Left;
    FrameTick();
    RecordActionAsked(recorder, 0, heldAction[0]);
    RecordActionAsked(recorder, 1, heldAction[1]);
    RecordFrame(recorder);
    ++frame;
  }
  if (!recorder.open) state.SkipWithError("the recording stopped");
  delete &recorder;
}
BENCHMARK(BM_FrameTickRecorded);

void BM_DigestGameState(benchmark::State& state) {
  StartMatch();
  for (auto _ : state) benchmark::DoNotOptimize(DigestGameState());
}
BENCHMARK(BM_DigestGameState);

BENCHMARK_MAIN();
