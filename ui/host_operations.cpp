// The operations the match engine asks of its host (engine/host.h) that the
// main window's labels and the sound thread answer. The drawing steps are in
// frame_rendering.cpp, ArmGravityTimer with the other timers in
// frame_pacing.cpp, ActionSource and ReadTickCount (recorded or replayed) in
// match_recording.cpp.
#include "engine/host.h"

#include <windows.h>

#include <cstring>

#include "sound/sound_mixer.h"
#include "sound/wave_output.h"
#include "ui/frame_rendering.h"
#include "ui/sound_switch.h"
#include "ui/window_handles.h"

int32_t shownLeader = -1;

// Setting a label's text repaints the label even when the text is the same,
// and the labels are shown on every frame: an unchanged text is left alone.
static void ShowText(HWND label, const char* text) {
  char shown[32];
  shown[0] = '\0';
  GetWindowTextA(label, shown, sizeof(shown));
  if (std::strcmp(shown, text) != 0) SetWindowTextA(label, text);
}

void ShowLabels(int p, const char* scoreText, const char* levelText) {
  ShowText(scoreLabel[p], scoreText);
  ShowText(levelLabel[p], levelText);
  // Both score labels take their colour from the lead when they paint, so
  // both repaint when it changes, whichever text did.
  const int32_t leader = LeaderColourIndex(gameState.score[0], gameState.score[1]);
  if (leader != shownLeader) {
    shownLeader = leader;
    InvalidateRect(scoreLabel[0], nullptr, TRUE);
    InvalidateRect(scoreLabel[1], nullptr, TRUE);
  }
}

void RequestRepaint() { InvalidateChangedImages(mainWindow); }

// Only a request into the sound thread's queue: never a wait, and a replay
// sounds as the match did.
void PlaySoundEvent(int p, SoundEvent e) {
  if (soundOn && PostSound(p, e, SoundStamp())) WakeSoundOutput();
}
