// The simulator's host operations: timers on the simulated clock, scripted
// or random input, and a renderer that only composes drawBoard.
#include "tools/sim/sim.h"

SimState simState;

void ArmGravityTimer(int p, uint32_t periodMs) {
  simState.gravityPeriod[p] = periodMs < SIM_TIMER_MINIMUM_MS ? SIM_TIMER_MINIMUM_MS : periodMs;
  simState.gravityDue[p] = simState.nowMs + simState.gravityPeriod[p];
  simState.arms[p] += 1;
}

void ShowLabels(int, const char*, const char*) {}
void RequestRepaint() {}
Action ActionSource(int p) { return simState.held[p]; }
void ClearWellImage(int) {}
void DrawTitle(int) {}

// As the window's renderer: compose the well and count the blank preview down.
void DrawPlayer(int p) {
  ComposeDrawBoard(p);
  if (gameState.previewBlind[p] != 0) gameState.previewBlind[p] -= 1;
}

void DrawSwapBox() {}
uint32_t ReadTickCount() { return simState.tickCount; }
