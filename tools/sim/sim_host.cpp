// The simulator's host operations: timers on the simulated clock, scripted
// or random input, and a renderer that only composes drawBoard.
#include "tools/sim/sim.h"

#include "computer/computer_player.h"
#include "engine/frame_gravity.h"

SimState simState;

void SimGravityTick(int p) {
  simState.cellsBefore[p] = SettledCells(p);
  RecordedGravityTick(simRecorder, p);
  CountChange(p);
}

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
  const Action a = simState.computer[p] ? ComputerAction(p, simState.level[p]) : simState.held[p];
  CountAction(p, a);
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
void PlaySoundEvent(int, SoundEvent) {}
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

void CountAction(int p, Action a) {
  // Asked at the start of a step; a lock counted since the last ask happened
  // in the step before this one.
  const int64_t frame = static_cast<int64_t>(frameGravity.nowMs / FRAME_PERIOD_MS);
  if (simState.pieces[p] != simState.piecesSeen[p]) {
    simState.piecesSeen[p] = simState.pieces[p];
    simState.appearedAt[p] = frame - 1;
    simState.pressedThisPiece[p] = false;
  }
  const bool press = ActionActs(p, a);
  if (a != Action::NoAction && a != simState.lastAsked[p]) simState.keyDowns[p] += 1;
  simState.lastAsked[p] = a;
  if (!press) return;
  simState.presses[p] += 1;
  if (simState.pressedThisPiece[p]) return;
  simState.pressedThisPiece[p] = true;
  const int64_t frames = frame - simState.appearedAt[p];
  simState.firstPressFrames[p][frames < SIM_FIRST_PRESS_BINS ? frames : SIM_FIRST_PRESS_BINS - 1] += 1;
}

int64_t MedianFirstPress(int p) {
  int64_t total = 0;
  for (int64_t n : simState.firstPressFrames[p]) total += n;
  int64_t below = 0;
  for (int f = 0; f < SIM_FIRST_PRESS_BINS; ++f) {
    below += simState.firstPressFrames[p][f];
    if (total != 0 && 2 * below >= total) return f;
  }
  return -1;
}
