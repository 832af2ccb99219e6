// The simulator's host operations: timers on the simulated clock, scripted
// or random input, and a renderer that only composes drawBoard.
#include "tools/sim/sim.h"

#include "computer/computer_player.h"
#include "net/frame_gravity.h"

SimState simState;

namespace {

void SimGravityTick(int p) {
  simState.cellsBefore[p] = SettledCells(p);
  RecordedGravityTick(simRecorder, p);
  CountChange(p);
}

}  // namespace

void SimStep() {
  AdvanceFrameGravity(frameGravity);
  FrameTick();
  RecordFrame(simRecorder);
  RunDueGravity(frameGravity, SimGravityTick);
}

void ArmGravityTimer(int p, uint32_t periodMs) { ArmFrameGravity(frameGravity, p, periodMs); }

void ShowLabels(int, const char*, const char*) {}
void RequestRepaint() {}
Action ActionSource(int p) {
  simState.cellsBefore[p] = SettledCells(p);
  const Action a = simState.computer[p] ? ComputerAction(p) : simState.held[p];
  RecordActionAsked(simRecorder, p, a);
  return a;
}
void ClearWellImage(int) {}
void DrawTitle(int) {}

// As the window's renderer: compose the well and count the blank preview down.
void DrawPlayer(int p) {
  CountChange(p);
  ComposeDrawBoard(p);
  if (gameState.previewBlind[p] != 0) gameState.previewBlind[p] -= 1;
}

void DrawSwapBox() {}
uint32_t ReadTickCount() {
  RecordTickRead(simRecorder, simState.tickCount);
  return simState.tickCount;
}

int32_t SettledCells(int p) {
  int32_t n = 0;
  for (int32_t v : gameState.board[p]) n += v != 0;
  return n;
}

void CountChange(int p) {
  // Between two looks: +4 for a lock, -10 for each row cleared. A lock whose
  // cells partly lay above the well (after garbage) is not counted.
  const int32_t change = SettledCells(p) - simState.cellsBefore[p];
  const int32_t lock = ((change % 10) + 10) % 10 == 4 ? 1 : 0;
  simState.pieces[p] += lock;
  simState.rows[p] += (4 * lock - change) / 10;
}
