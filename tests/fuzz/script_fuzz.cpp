// Fuzz target: the simulator's script reader on any bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/sim/sim.h"

namespace {

// fmemopen refuses an empty buffer: an empty input is this byte, read past.
char oneByte[1];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* in = size == 0 ? fmemopen(oneByte, 1, "r") : fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (in == nullptr) return 0;
  if (size == 0) std::fgetc(in);
  std::vector<ScriptRun> runs;
  char error[256];
  ParseScript(in, runs, error, sizeof error);
  std::fclose(in);
  return 0;
}
