// The recording host: defines the engine's host operations for the tests.
#include "tests/engine/test_host.h"

#include <cstring>

TestHost testHost;

namespace {

void Log(char code, int p) {
  if (testHost.logLength >= TEST_LOG_CAPACITY - 1) return;
  testHost.log[testHost.logLength++] = p == 1 ? static_cast<char>(code - 'a' + 'A') : code;
  testHost.log[testHost.logLength] = '\0';
}

}  // namespace

void ResetTestHost() {
  testHost = {};
  testHost.held[0] = Action::NoAction;
  testHost.held[1] = Action::NoAction;
  testHost.tickCount = 1000;
}

void StartTestMatch(uint32_t tick) {
  gameState = {};
  randState = 0;
  matchFigures = MatchFigures{};
  ResetTestHost();
  testHost.tickCount = tick;
  ResetPlayer(0);
  ResetPlayer(1);
}

void PlacePiece(int p, int t, int x, int y) {
  LoadTemplate(gameState.curPiece[p], PieceTable[t]);
  gameState.pieceX[p] = x;
  gameState.pieceY[p] = y;
}

void FillRow(int p, int r, int hole, int32_t v) {
  for (int c = 0; c < WELL_COLUMNS; ++c) {
    gameState.board[p][c * WELL_ROWS + r] = c == hole ? EMPTY : v;
  }
}

int32_t Heard(int p, SoundEvent e) { return testHost.sounds[p + 1][static_cast<int>(e)]; }

int32_t HeardInAll(int p) {
  int32_t n = 0;
  for (int32_t count : testHost.sounds[p + 1]) n += count;
  return n;
}

std::string TakeLog() {
  std::string taken(testHost.log, static_cast<size_t>(testHost.logLength));
  testHost.logLength = 0;
  testHost.log[0] = '\0';
  return taken;
}

void ArmGravityTimer(int p, uint32_t periodMs) {
  if (testHost.armCount < TEST_ARM_CAPACITY) testHost.arms[testHost.armCount] = {p, periodMs};
  testHost.armCount += 1;
  testHost.lastArm[p] = periodMs;
  testHost.armsFor[p] += 1;
}

void ShowLabels(int p, const char* scoreText, const char* levelText) {
  std::strncpy(testHost.scoreText[p], scoreText, sizeof testHost.scoreText[p] - 1);
  std::strncpy(testHost.levelText[p], levelText, sizeof testHost.levelText[p] - 1);
  testHost.labelCalls[p] += 1;
}

void RequestRepaint() {
  testHost.repaints += 1;
  Log('r', 0);
}

Action ActionSource(int p) {
  testHost.samples[p] += 1;
  Log('a', p);
  return testHost.held[p];
}

void ClearWellImage(int p) {
  testHost.clearWell[p] += 1;
  Log('w', p);
}

void DrawTitle(int p) {
  testHost.titles[p] += 1;
  Log('t', p);
}

// As the program's renderer does: compose the well, count the blank preview down.
void DrawPlayer(int p) {
  testHost.draws[p] += 1;
  Log('d', p);
  ComposeDrawBoard(p);
  if (gameState.previewBlind[p] != 0) gameState.previewBlind[p] -= 1;
}

void DrawSwapBox() {
  testHost.swapBoxes += 1;
  Log('s', 0);
}

void PlaySoundEvent(int p, SoundEvent e) {
  const int32_t i = static_cast<int32_t>(e);
  if (p >= MATCH_WIDE && p < PLAYERS && i >= 0 && i < SOUND_EVENTS) testHost.sounds[p + 1][i] += 1;
}

uint32_t ReadTickCount() {
  testHost.tickReads += 1;
  return testHost.tickCount;
}
