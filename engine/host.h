// The operations the match engine needs from the program that hosts it.
// The engine calls these and never defines them: the Windows program defines
// them in ui/, the simulator and the tests define their own.
//
// One frame tick calls the host in this order, for player 0 then player 1:
//   ClearWellImage(p); ActionSource(p) (unless p is out), after which a
//   kicked turn calls ArmGravityTimer(p); then DrawTitle(p) when p is out
//   or the match is paused, otherwise ShowLabels(p) from ClearLines and
//   DrawPlayer(p);
// and after both players DrawSwapBox() and RequestRepaint().
// A gravity tick may call ArmGravityTimer(p) and always RequestRepaint().
// Any of them may call PlaySoundEvent when something audible happens.
#pragma once

#include <cstdint>

#include "engine/game_state.h"

// Called by ResetPlayer (period 1000), by RotatePiece after a kicked turn and
// by GravityTick on a level change: (re)start player p's gravity timer so the
// next gravity tick comes periodMs from now.
void ArmGravityTimer(int p, uint32_t periodMs);

// Called by ClearLines on every frame tick of a player in play: show the
// player's score and level texts.
void ShowLabels(int p, const char* scoreText, const char* levelText);

// Called by FrameTick after both players and by every GravityTick: the
// picture changed, repaint the window (without erasing) when convenient.
void RequestRepaint();

// Called by ApplyAction once per frame tick for a player who is not out: the
// player's action for this frame (the control sampler in the program).
Action ActionSource(int p);

// Called by FrameTick first for each player: blank the player's well image.
void ClearWellImage(int p);

// Called by FrameTick when the player is out or the match is paused: draw the
// title text on the player's well image.
void DrawTitle(int p);

// Called by FrameTick for a player in play after ClearLines: compose the well
// (ComposeDrawBoard) and paint it with the preview, and count the blank
// preview down (gameState.previewBlind[p] less one when not 0), drawn or not.
// The count is match state: every host must do it here, or the digests of
// its recordings differ from the other hosts'.
void DrawPlayer(int p);

// Called by FrameTick after both players: paint the shared swap box.
void DrawSwapBox();

// Called by the first RandomDraw of the process: the millisecond tick count
// that seeds both piece streams.
uint32_t ReadTickCount();

// What a player hears. Moves and turns make no sound: they come up to 20 a
// second.
enum class SoundEvent : int32_t {
  PieceLocked,
  OneRow,
  TwoRows,
  ThreeRows,
  FourRows,
  GarbageArrived,
  PreviewBlank,
  PlayerOut,
  MatchStarted,
  PauseStarted,
  PauseEnded
};
constexpr int32_t SOUND_EVENTS = 11;
// The player of an event that belongs to the whole match (heard centred).
constexpr int MATCH_WIDE = -1;

// Called by the rules as it happens: StepDown (a lock, a player out),
// ClearLines (rows cleared for p; garbage and a blank preview for the
// opponent), ApplyAction (pause and resume, MATCH_WIDE) and ResetPlayer(0)
// at Start (MATCH_WIDE). p is 0, 1 or MATCH_WIDE. Never changes the match.
void PlaySoundEvent(int p, SoundEvent e);
