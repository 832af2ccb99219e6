// Everything the match engine offers: state, piece streams, motion, line
// clearing and attacks, actions and ticks. Free of any platform header.
#pragma once

#include <cstdint>

#include "engine/game_state.h"
#include "engine/host.h"
#include "engine/match_figures.h"

// ---- Piece streams -------------------------------------------------------
// The stream number of the shared stream (garbage rows, swap pieces); 0 and 1
// are the players' own.
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

// The motion rules on explicit data, for callers that must try moves on a
// copy (the computer player); the operations below apply them to gameState.
// Does matrix m fit with its origin at column x, row y of the board?
bool MatrixFits(const Board& board, const PieceMatrix m, int x, int y);
// Moves the cells left, then up, until column 0 and row 0 hold a cell.
void NormaliseMatrix(PieceMatrix m);
// A quarter turn of the matrix, normalised; no fit test.
void TurnMatrix(PieceMatrix m, bool clockwise);
// What a turn did: nothing, a turn in place, or a turn with a kick.
enum class TurnResult { Refused, InPlace, Kicked };
// RotatePiece's rule on a copy: turns m at (x, y) with the kick search and
// moves x and y by the kick; a refused turn leaves m, x and y unchanged.
TurnResult TurnOnBoard(const Board& board, PieceMatrix m, int& x, int& y, bool clockwise);

// True when player p's falling piece, moved by (dx, dy), lies inside the well
// on empty cells. The origin is what is tested against the top and the left:
// a piece whose origin is above or left of the well never fits.
bool PieceFits(int p, int dx, int dy);
// Moves the falling piece dx columns when it fits there; otherwise nothing.
void ShiftPiece(int p, int dx);
// Moves the piece's cells to the matrix's top-left corner (at most three
// columns and three rows).
void NormalisePiece(int p);
// A quarter turn in place, else the first fitting kick left and up (which
// re-arms the gravity timer); if none fits the piece stays as it was.
void RotatePiece(int p, bool clockwise);
// The lowest row the falling piece can reach by dropping straight down.
int LandingRow(int p);
// One row down. A piece that cannot move also locks here: it is written into
// the board, the preview piece spawns at the top, a new preview is drawn, and
// the player is out (gameOver) when the new piece does not fit, which ends
// the match when the other is out too (EndMatchIfOver). Locks are counted.
void StepDown(int p);
// A fresh well for player p at Start: empty board, new falling, preview and
// swap pieces, score and level 0, counters cleared, gravity re-armed at 1 s,
// the player in play and the match unpaused; p's match counters cleared
// (player 0's reset starts the match's figures).
void ResetPlayer(int p);

// ---- Line clearing, scoring and attacks ------------------------------------
constexpr int32_t LEVEL_SCORE_STEP = 10;      // points per level
constexpr int32_t PREVIEW_BLIND_FRAMES = 500; // frames the opponent's preview is blank, per attack
constexpr int32_t FREEZE_PER_ATTACK = 10;     // gravity ticks the attacker's gravity stops, per attack of 3+

// Removes player p's full rows, adds the score (and levels every 10 points),
// attacks the opponent by the number of rows cleared at once, and shows p's
// labels. Runs on every frame tick of a player in play, cleared rows or not.
void ClearLines(int p);

// ---- Actions and ticks -----------------------------------------------------
// Frames a held action waits before it repeats: after most actions, after a
// turn, and after a swap or a drop to the floor.
constexpr int32_t REPEAT_DELAY = 4;
constexpr int32_t ROTATE_DELAY = 10;
constexpr int32_t LONG_DELAY = 50;
constexpr int32_t SWAP_COST = 5;             // points a successful swap costs
constexpr uint32_t FRAME_PERIOD_MS = 10;     // the frame timer's period
constexpr uint32_t GRAVITY_BASE_MS = 1000;   // the gravity period at level 0

// The gravity period at a level: 1000 / (level + 1) as an unsigned division.
uint32_t GravityPeriod(int32_t level);

// The repeat rule: does action a act for player p this frame? Not NoAction,
// and not the action last acted while its delay runs (a held key waits, any
// other action acts at once). The computer and the simulator's counts ask it.
bool ActionActs(int p, Action a);
// Samples player p's action (ActionSource) and applies it under the repeat
// rule (a frame that does not act counts the delay down); pause and resume included. Nothing for a player who is out.
void ApplyAction(int p);
// The 10 ms frame: a match stopped since the last tick ends and an unpaused
// one counts the frame (matchFigures); then for each player the well image
// is cleared, the action applied, then the title (out or paused) or the
// lines, well and preview are drawn; then the swap box, then a repaint is
// requested.
void FrameTick();
// Player p's gravity timer: a frozen player counts the freeze down; otherwise
// a forced drop lands the piece, then it steps one row down; a level change
// re-arms the timer. Requests a repaint in every case.
void GravityTick(int p);

// ---- Composition for drawing -----------------------------------------------
// drawBoard[p] = board[p], plus the ghost (when shadowOn[p]) and the falling
// piece; cells outside the well are skipped.
void ComposeDrawBoard(int p);
