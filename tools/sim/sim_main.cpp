// blocktide-sim: plays a two-player match headless, from a script or a
// seeded random player, and prints the wells.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "computer/computer_player.h"
#include "tools/sim/sim.h"

namespace {

const char USAGE[] =
    "usage: blocktide-sim [--seed TICKS] (--script FILE | --random SEED) [--frames N]\n"
    "                     [--every N] [--shadow] [--computer P] [--stats]\n"
    "                     [--record FILE]\n"
    "       blocktide-sim --replay FILE\n"
    "Plays a two-player match through FrameTick and GravityTick on a simulated\n"
    "clock: a frame tick every 10 ms; each player's gravity at the period last\n"
    "armed (at least 10 ms), at most one gravity tick per player per frame step.\n"
    "  --seed TICKS   tick count that seeds the piece streams (default 1000)\n"
    "  --script FILE  input script ('-' reads standard input)\n"
    "  --random SEED  both players press random inputs (never Pause), seeded\n"
    "  --frames N     frames to play (default: the script's length, or 30000)\n"
    "  --every N      also print the wells every N frames\n"
    "  --shadow       show both players' ghost pieces ('#')\n"
    "  --computer P   the computer plays player P (0, 1 or 'both') in place of\n"
    "                 the script or the random player; with it, a player that\n"
    "                 neither gives an input to holds nothing\n"
    "  --stats        after the wells, one line per player: rows cleared and\n"
    "                 pieces placed ('player P: rows R pieces N')\n"
    "  --record FILE  also write the match as a recording (see --replay)\n"
    "  --replay FILE  run a recording made by blocktide.exe --record, check every\n"
    "                 digest and print the wells at its end (no other option)\n"
    "The match ends early when both players are out. The wells print at the end:\n"
    "'.' empty, 1 to 7 a block's colour, '#' the ghost.\n"
    "Script: one run per line, 'FRAMES P0ACTION P1ACTION': both actions are held\n"
    "for FRAMES frames (1 to 100000000, and no more than that in all). Actions:\n"
    "speedup left right cw ccw swap pause fall none (or '-'), in any case. '#'\n"
    "starts a comment; no control characters but tab. After the script's end,\n"
    "nothing is held. Example: '5 left none' then '1 fall fall'.\n"
    "Exit status: 0 after the match, 2 on a bad argument or script; for --replay\n"
    "0 when every digest matched, 1 when the replay diverged, 2 on a bad file.\n";

int Fail(const char* what, const char* detail) {
  std::fputs("blocktide-sim: ", stderr);
  PrintEscaped(stderr, what);
  PrintEscaped(stderr, detail);
  std::fprintf(stderr, "\n%s", USAGE);
  return 2;
}

bool ParseNumber(const char* text, uint64_t max, uint64_t& value) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || v > max) return false;
  value = v;
  return true;
}

// Moves are the commonest inputs; Pause is left out, it would stall the match.
const Action RANDOM_CHOICES[] = {Action::Left,     Action::Right,   Action::RotateCW, Action::RotateCCW,
                                 Action::SpeedUp,  Action::Fall,    Action::Swap,     Action::NoAction,
                                 Action::NoAction, Action::Left,    Action::Right};

// The random player: holds an input for 1 to 24 frames, then picks another.
struct RandomPlayer {
  uint64_t s;
  int32_t left[2];
  uint32_t Next(uint32_t n) {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return static_cast<uint32_t>(s % n);
  }
  Action Choose(int p, Action current) {
    if (left[p] > 0) {
      left[p] -= 1;
      return current;
    }
    left[p] = static_cast<int32_t>(Next(24));
    return RANDOM_CHOICES[Next(sizeof RANDOM_CHOICES / sizeof RANDOM_CHOICES[0])];
  }
};

// One 10 ms step: the frame tick, then each gravity timer that is due, once.
void Step() {
  simState.nowMs += FRAME_PERIOD_MS;
  FrameTick();
  RecordFrame(simRecorder);
  for (int p = 0; p < 2; ++p) {
    if (simState.nowMs < simState.gravityDue[p]) continue;
    const int64_t arms = simState.arms[p];
    simState.cellsBefore[p] = SettledCells(p);
    RecordedGravityTick(simRecorder, p);
    CountChange(p);
    if (simState.arms[p] == arms) simState.gravityDue[p] = simState.nowMs + simState.gravityPeriod[p];
  }
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t seed = 1000, randomSeed = 0, frames = 0, every = 0;
  const char* scriptPath = nullptr;
  bool random = false, framesGiven = false, shadow = false, stats = false;
  bool computer[2] = {false, false};
  const char* replayPath = nullptr;
  const char* recordPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(arg, "--help") == 0) {
      std::fputs(USAGE, stdout);
      return 0;
    } else if (std::strcmp(arg, "--shadow") == 0) {
      shadow = true;
    } else if (std::strcmp(arg, "--stats") == 0) {
      stats = true;
    } else if (std::strcmp(arg, "--computer") == 0) {
      if (value != nullptr && std::strcmp(value, "both") == 0) {
        computer[0] = computer[1] = true;
      } else if (value != nullptr && (std::strcmp(value, "0") == 0 || std::strcmp(value, "1") == 0)) {
        computer[value[0] - '0'] = true;
      } else {
        return Fail("--computer needs 0, 1 or both", "");
      }
      ++i;
    } else if (std::strcmp(arg, "--seed") == 0) {
      if (!ParseNumber(value, 0xFFFFFFFFu, seed)) return Fail("--seed needs a number from 0 to 4294967295", "");
      ++i;
    } else if (std::strcmp(arg, "--random") == 0) {
      if (!ParseNumber(value, UINT64_MAX, randomSeed)) return Fail("--random needs a number", "");
      random = true;
      ++i;
    } else if (std::strcmp(arg, "--frames") == 0) {
      if (!ParseNumber(value, SIM_MAX_FRAMES, frames)) {
        return Fail("--frames needs a number from 0 to 100000000", "");
      }
      framesGiven = true;
      ++i;
    } else if (std::strcmp(arg, "--every") == 0) {
      if (!ParseNumber(value, 100000000, every) || every == 0) {
        return Fail("--every needs a number from 1 to 100000000", "");
      }
      ++i;
    } else if (std::strcmp(arg, "--replay") == 0) {
      if (value == nullptr) return Fail("--replay needs a file", "");
      replayPath = value;
      ++i;
    } else if (std::strcmp(arg, "--record") == 0) {
      if (value == nullptr) return Fail("--record needs a file", "");
      recordPath = value;
      ++i;
    } else if (std::strcmp(arg, "--script") == 0) {
      if (value == nullptr) return Fail("--script needs a file", "");
      scriptPath = value;
      ++i;
    } else {
      return Fail("unknown argument: ", arg);
    }
  }
  if (replayPath != nullptr) {
    if (argc != 3) return Fail("--replay takes no other option", "");
    return RunReplay(replayPath);
  }
  if (random && scriptPath != nullptr) return Fail("give exactly one of --script and --random", "");
  if (!random && scriptPath == nullptr && !computer[0] && !computer[1]) {
    return Fail("give exactly one of --script and --random", "");
  }

  std::vector<ScriptRun> runs;
  if (scriptPath != nullptr) {
    std::FILE* in = std::strcmp(scriptPath, "-") == 0 ? stdin : std::fopen(scriptPath, "r");
    if (in == nullptr) return Fail("cannot open the script: ", scriptPath);
    char error[256];
    const bool ok = ParseScript(in, runs, error, sizeof error);
    if (in != stdin) std::fclose(in);
    if (!ok) return Fail(error, "");
    if (!framesGiven) {
      for (const ScriptRun& run : runs) frames += static_cast<uint64_t>(run.frames);
    }
  } else if (!framesGiven) {
    frames = 30000;
  }

  // Start-up as the window does it: both out, gravity timers at 1000 ms;
  // then Start resets player 0 and player 1.
  simState.tickCount = static_cast<uint32_t>(seed);
  gameState = {};
  gameState.shadowOn[0] = gameState.shadowOn[1] = shadow ? 1 : 0;
  if (recordPath != nullptr && !OpenSimRecording(recordPath)) return Fail("cannot write the recording: ", recordPath);
  RecordBeforeStart(simRecorder);
  ResetPlayer(0);
  ResetPlayer(1);
  RecordAfterStart(simRecorder);
  ResetComputer();
  simState.computer[0] = computer[0];
  simState.computer[1] = computer[1];

  // Xorshift never leaves 0: the one seed that the mixing sends there
  // (15410147969449583195) starts elsewhere. Every other seed keeps its state.
  uint64_t state = randomSeed * 2654435761u + 0x9e3779b97f4a7c15ull;
  if (state == 0) state = 0x2545F4914F6CDD1Dull;
  RandomPlayer player = {state, {0, 0}};
  size_t run = 0;
  int64_t runLeft = runs.empty() ? 0 : runs[0].frames;
  int64_t frame = 0;
  while (static_cast<uint64_t>(frame) < frames && !(gameState.gameOver[0] && gameState.gameOver[1])) {
    for (int p = 0; p < 2; ++p) {
      if (random) {
        simState.held[p] = player.Choose(p, simState.held[p]);
      } else {
        simState.held[p] = run < runs.size() ? runs[run].action[p] : Action::NoAction;
      }
    }
    if (!random && run < runs.size() && --runLeft == 0 && ++run < runs.size()) runLeft = runs[run].frames;
    Step();
    ++frame;
    if (every != 0 && frame % static_cast<int64_t>(every) == 0) PrintWells(stdout, frame);
  }
  if (every == 0 || frame % static_cast<int64_t>(every) != 0) PrintWells(stdout, frame);
  if (stats) {
    for (int p = 0; p < 2; ++p) {
      std::printf("player %d: rows %lld pieces %lld\n", p, static_cast<long long>(simState.rows[p]),
                  static_cast<long long>(simState.pieces[p]));
    }
  }
  if (!CloseSimRecording()) {
    return Fail("the recording could not be written: ", recordPath);
  }
  return 0;
}
