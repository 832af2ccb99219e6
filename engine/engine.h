// Everything the match engine offers: state, piece streams, motion, line
// clearing and attacks, actions and ticks. Free of any platform header.
#pragma once

#include <cstdint>

#include "engine/game_state.h"
#include "engine/host.h"

// ---- Piece streams -------------------------------------------------------
constexpr int SHARED_STREAM = 2;

// The generator state shared by all three streams.
extern uint32_t randState;

// A number from 0 to n - 1 from player stream 0 or 1, or the shared stream
// (any other number). The first draw of the process seeds both player streams
// from ReadTickCount(). n must be at least 1.
int RandomDraw(int stream, int n);

// ---- Piece motion --------------------------------------------------------
// 1 + the rightmost occupied column of the matrix (0 for an empty matrix).
int PieceWidth(const PieceMatrix m);
// 1 + the lowest occupied row of the rightmost occupied column (0 if empty).
int LastColumnDepth(const PieceMatrix m);

bool PieceFits(int p, int dx, int dy);
void ShiftPiece(int p, int dx);
void NormalisePiece(int p);
void RotatePiece(int p, bool clockwise);
int LandingRow(int p);
void StepDown(int p);
void ResetPlayer(int p);

// ---- Line clearing, scoring and attacks ------------------------------------
constexpr int32_t LEVEL_SCORE_STEP = 10;
constexpr int32_t PREVIEW_BLIND_FRAMES = 500;
constexpr int32_t FREEZE_PER_ATTACK = 10;

void ClearLines(int p);

// ---- Actions and ticks -----------------------------------------------------
constexpr int32_t REPEAT_DELAY = 4;
constexpr int32_t ROTATE_DELAY = 10;
constexpr int32_t LONG_DELAY = 50;
constexpr int32_t SWAP_COST = 5;
constexpr uint32_t FRAME_PERIOD_MS = 10;
constexpr uint32_t GRAVITY_BASE_MS = 1000;

// The gravity period at a level: 1000 / (level + 1) as an unsigned division.
uint32_t GravityPeriod(int32_t level);

void ApplyAction(int p);
void FrameTick();
void GravityTick(int p);

// ---- Composition for drawing -----------------------------------------------
// drawBoard[p] = board[p], plus the ghost (when shadowOn[p]) and the falling
// piece; cells outside the well are skipped.
void ComposeDrawBoard(int p);
