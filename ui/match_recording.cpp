// Recording and replaying matches in the window: the file handling, the
// recorder's sink, the replay paced by the frame timer, and the host
// operations whose answers are recorded or replayed.
#include "ui/match_recording.h"

#include <cstdio>
#include <vector>

#include "controls/action_sampling.h"
#include "engine/engine.h"
#include "engine/host.h"
#include "ui/kept_match.h"
#include "ui/network_match.h"
#include "ui/window_handles.h"

MatchSession session;

namespace {

// One debug line now, the message when the program ends.
void RecordingStopped(DWORD code) {
  char line[400];
  std::snprintf(line, sizeof line, "BlockTide: the recording stopped: cannot write %s (error %lu)\n",
                session.options.path.c_str(), static_cast<unsigned long>(code));
  OutputDebugStringA(line);
  std::snprintf(session.endMessage, sizeof session.endMessage,
                "The recording to %s stopped: the file could not be written (error %lu).",
                session.options.path.c_str(), static_cast<unsigned long>(code));
}

bool WriteToFile(void* context, const char* bytes, size_t count) {
  DWORD written = 0;
  if (WriteFile(static_cast<HANDLE>(context), bytes, static_cast<DWORD>(count), &written, nullptr) &&
      written == count) {
    return true;
  }
  RecordingStopped(GetLastError());
  return false;
}

void FeedActions(const Action action[2]) {
  session.replayAction[0] = action[0];
  session.replayAction[1] = action[1];
}

void FeedTick(uint32_t tick) { session.replayTick = tick; }

bool ReadWholeFile(const char* path, std::vector<char>& data, DWORD& error) {
  HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(f, &size) != 0;
  // One byte past the limit is enough for the reader to refuse the file.
  const LONGLONG keep = ok && size.QuadPart > LONGLONG(RECORDING_MAX_BYTES) ? RECORDING_MAX_BYTES + 1 : size.QuadPart;
  if (ok) data.resize(static_cast<size_t>(keep));
  DWORD got = 0;
  ok = ok && (keep == 0 || (ReadFile(f, data.data(), static_cast<DWORD>(keep), &got, nullptr) && got == keep));
  error = ok ? 0 : GetLastError();
  CloseHandle(f);
  return ok;
}

// The checked boxes follow the recording's switches.
void ShowRecordedShadows() {
  for (int p = 0; p < PLAYERS; ++p) {
    const WPARAM state = gameState.shadowOn[p] != 0 ? BST_CHECKED : BST_UNCHECKED;
    if (shadowCheck[p] != nullptr && SendMessageA(shadowCheck[p], BM_GETCHECK, 0, 0) != LRESULT(state)) {
      SendMessageA(shadowCheck[p], BM_SETCHECK, state, 0);
    }
  }
}

// The replay is over (at its end, diverged, or stopped): both players out,
// so the wells show the title.
void EndReplay() {
  session.replay = ReplayState::ReplayOver;
  gameState.gameOver[0] = true;
  gameState.gameOver[1] = true;
  if (session.run.divergedLine != 0) {
    session.exitStatus = 1;
    char text[600];
    std::snprintf(text, sizeof text, "The replay of %s diverged at line %u: the match went otherwise.",
                  session.options.path.c_str(), session.run.divergedLine);
    Tell(text, true);
  }
  if (session.options.unattended) PostMessageA(mainWindow, WM_CLOSE, 0, 0);
}

}  // namespace

void Tell(const char* text, bool problem) {
  if (session.options.unattended) {
    char line[700];
    const int n = std::snprintf(line, sizeof line, "blocktide: %s\n", text);
    OutputDebugStringA(line);
    DWORD written;
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err != nullptr && err != INVALID_HANDLE_VALUE && n > 0) {
      WriteFile(err, line, static_cast<DWORD>(n < int(sizeof line) ? n : int(sizeof line) - 1), &written, nullptr);
    }
    return;
  }
  MessageBoxA(mainWindow, text, MAIN_WINDOW_TITLE, MB_OK | (problem ? MB_ICONWARNING : MB_ICONINFORMATION));
}

void TellFailure(const char* what, unsigned long code) {
  char words[256];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, words,
                           sizeof words, nullptr);
  // The system's text ends in a full stop and a line end: the message has its own.
  while (n > 0 && (words[n - 1] == '\r' || words[n - 1] == '\n' || words[n - 1] == '.' || words[n - 1] == ' ')) --n;
  words[n < sizeof words ? n : 0] = '\0';
  char text[700];
  std::snprintf(text, sizeof text, "%s: %s (error %lu).", what, n > 0 ? words : "a system error", code);
  Tell(text, true);
}

void TellSettingNotStored(const char* value, long code) {
  char what[96];
  std::snprintf(what, sizeof what, "The setting \"%s\" could not be stored", value);
  TellFailure(what, static_cast<unsigned long>(code));
}

int BeginSession(const char* commandLine) {
  std::string error;
  char lobby[256];
  KnownLobby(lobby, sizeof lobby);  // the invite roles' lobby when --lobby is left out
  if (!ParseLaunchOptions(commandLine, session.options, error, lobby)) {
    Tell(error.c_str(), true);
    return 2;
  }
  const char* path = session.options.path.c_str();
  if (session.options.mode == LaunchMode::Record) {
    session.file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (session.file == INVALID_HANDLE_VALUE) {
      // As a failed write: the game goes on, and is told of at the end.
      RecordingStopped(GetLastError());
      session.recorder.failed = true;
    } else {
      RecorderOpen(session.recorder, WriteToFile, session.file, BLOCKTIDE_VERSION_STRING);
    }
  } else if (session.options.mode == LaunchMode::Replay) {
    std::vector<char> data;
    DWORD code = 0;
    char text[700];
    if (!ReadWholeFile(path, data, code)) {
      std::snprintf(text, sizeof text, "Cannot replay %s: the file cannot be read (error %lu).", path,
                    static_cast<unsigned long>(code));
      Tell(text, true);
      return 2;
    }
    char why[256];
    if (!ReadRecording(data.data(), data.size(), session.recording, why, sizeof why)) {
      std::snprintf(text, sizeof text, "Cannot replay %s: %s.", path, why);
      Tell(text, true);
      return 2;
    }
    BeginReplay(session.run, session.recording, ReplayFeed{FeedActions, FeedTick});
    session.replay = ReplayState::Replaying;
  }
  if (session.replay == ReplayState::NotReplaying) BeginKeptMatch(session.recorder);
  return 0;
}

int EndSession(int loopExitCode) {
  if (session.options.mode == LaunchMode::Record) {
    RecorderClose(session.recorder);
    if (session.file != INVALID_HANDLE_VALUE) CloseHandle(session.file);
    session.file = INVALID_HANDLE_VALUE;
    if (session.recorder.failed) Tell(session.endMessage, true);
  }
  return loopExitCode != 0 ? loopExitCode : session.exitStatus;
}

void SessionFrameTick() {
  if (session.replay == ReplayState::NotReplaying) {
    FrameTick();
    RecordFrame(session.recorder);
    KeepAfterTick();
    return;
  }
  if (session.replay == ReplayState::Replaying) {
    const ReplayStep step = ReplayNextFrame(session.run);
    ShowRecordedShadows();
    if (step == ReplayStep::Frame) return;
    EndReplay();
  }
  FrameTick();  // both players are out: the title
}

void SessionFrameTickWith(const Action action[2]) {
  session.fed = true;
  session.fedAction[0] = action[0];
  session.fedAction[1] = action[1];
  FrameTick();
  session.fed = false;
  RecordFrame(session.recorder);
}

void RunGravityTick(int p) {
  if (session.replay != ReplayState::NotReplaying) return;  // the recording holds the gravity ticks
  RecordedGravityTick(session.recorder, p);
  KeepAfterTick();
}

bool RunCommand(int id, void (*act)(int id)) {
  const bool shadow = id >= ID_SHADOW0 && id < ID_SHADOW0 + PLAYERS;
  const bool ours = id == ID_START || id == ID_STOP || shadow || (id >= ID_CONFIG0 && id < ID_CONFIG0 + PLAYERS);
  if (!ours) return false;
  if (session.replay != ReplayState::NotReplaying) {
    if (id == ID_STOP && session.replay == ReplayState::Replaying) EndReplay();
    ShowRecordedShadows();  // a click on a box does not change the switch
    return true;
  }
  if (id == ID_START) {
    KeepBeforeStart();
    RecordBeforeStart(session.recorder);
  }
  act(id);
  if (id == ID_START) RecordAfterStart(session.recorder);
  if (id == ID_STOP) RecordStop(session.recorder);
  KeepAfterTick();
  if (shadow) RecordShadow(session.recorder, id - ID_SHADOW0);
  return true;
}

// The recorder keeps the action the engine was given, as given.
Action ActionSource(int p) {
  if (session.replay != ReplayState::NotReplaying) return session.replayAction[p];
  const Action a = session.fed ? session.fedAction[p] : SampleAction(p);
  RecordActionAsked(session.recorder, p, a);
  return a;
}

uint32_t ReadTickCount() {
  if (session.replay != ReplayState::NotReplaying) return session.replayTick;
  const uint32_t tick = GetTickCount();
  RecordTickRead(session.recorder, tick);
  return tick;
}
