// The "Sound" item of the system menu and the switch behind it.
#include "ui/sound_switch.h"

#include "controls/settings_store.h"
#include "sound/sound_mixer.h"
#include "sound/wave_output.h"
#include "ui/match_recording.h"

bool soundOn = true;

void AddSoundMenuItem(HWND window) {
  soundOn = LoadSoundSwitch();
  HMENU menu = GetSystemMenu(window, FALSE);
  if (menu == nullptr) return;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | (soundOn ? MF_CHECKED : MF_UNCHECKED), IDM_SOUND, "Sound");
}

bool SoundMenuCommand(HWND window, WPARAM command) {
  if ((command & 0xFFF0) != IDM_SOUND) return false;
  soundOn = !soundOn;
  // The thread takes the silence at once; with nothing sounding it leaves
  // the device closed.
  if (!soundOn && PostSilence()) WakeSoundOutput();
  CheckMenuItem(GetSystemMenu(window, FALSE), IDM_SOUND, MF_BYCOMMAND | (soundOn ? MF_CHECKED : MF_UNCHECKED));
  if (session.replay == ReplayState::NotReplaying) SaveSoundSwitch(soundOn);
  return true;
}
