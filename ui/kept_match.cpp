// The kept match: a recorder into fixed memory, turned over at each end.
#include "ui/kept_match.h"

#include <windows.h>

#include <cstring>
#include <new>

KeptMatch keptMatch;

namespace {

bool KeepBytes(void*, const char* bytes, size_t count) {
  KeptMatch& k = keptMatch;
  size_t& used = k.used[k.current];
  if (KEPT_MATCH_MAX_BYTES - used < count) return false;  // the recorder stops: not kept
  std::memcpy(k.bytes[k.current] + used, bytes, count);
  used += count;
  return true;
}

void OpenKept() {
  keptMatch.begun = false;
  keptMatch.used[keptMatch.current] = 0;
  RecorderOpen(keptMatch.recorder, KeepBytes, nullptr, BLOCKTIDE_VERSION_STRING);
}

}  // namespace

void BeginKeptMatch(Recorder& session) {
  for (char*& b : keptMatch.bytes) b = new (std::nothrow) char[KEPT_MATCH_MAX_BYTES];
  if (keptMatch.bytes[0] == nullptr || keptMatch.bytes[1] == nullptr) {
    for (char*& b : keptMatch.bytes) {
      delete[] b;
      b = nullptr;
    }
    keptMatch.noMemory = true;
    OutputDebugStringA("BlockTide: no memory to keep the last match (two stores of 8 MiB)\n");
    return;
  }
  OpenKept();
  session.also = &keptMatch.recorder;
}

void KeepBeforeStart() {
  if (keptMatch.bytes[0] == nullptr) return;
  if (keptMatch.begun) OpenKept();
  keptMatch.begun = true;
}

bool KeepAfterTick() {
  KeptMatch& k = keptMatch;
  // The recorder leaves a match at Stop or with both out; one the cap
  // stopped ends when its players are out.
  const bool over = gameState.gameOver[0] && gameState.gameOver[1];
  if (!k.begun || (k.recorder.failed ? !over : k.recorder.live)) return false;
  k.begun = false;
  if (k.recorder.failed) {
    k.haveLast = false;
    k.lastTooLong = true;
  } else {
    RecorderClose(k.recorder);
    if (k.recorder.failed) return false;
    k.haveLast = true;
    k.lastTooLong = false;
    k.current = 1 - k.current;
  }
  OpenKept();
  return true;
}

bool SaveLastMatch(const char* path, unsigned long& error) {
  const KeptMatch& k = keptMatch;
  error = ERROR_NOT_FOUND;
  if (!k.haveLast) return false;
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  const size_t size = k.used[1 - k.current];
  DWORD written = 0;
  bool ok = WriteFile(file, k.bytes[1 - k.current], static_cast<DWORD>(size), &written, nullptr) != 0;
  // A write cut short without an error is a full disk.
  error = !ok ? GetLastError() : written != size ? ERROR_DISK_FULL : 0;
  ok = ok && written == size;
  if (CloseHandle(file) == 0 && ok) {
    error = GetLastError();
    ok = false;
  }
  return ok;
}
