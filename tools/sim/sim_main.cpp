// blocktide-sim: plays a two-player match headless, from a script or a
// seeded random player, and prints the wells.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "computer/computer_player.h"
#include "net/net_wire.h"
#include "tools/sim/sim.h"

namespace {

const char USAGE[] =
    "usage: blocktide-sim [--seed TICKS] (--script FILE | --random SEED) [--frames N]\n"
    "                     [--every N] [--shadow] [--computer P] [--stats]\n"
    "                     [--record FILE]\n"
    "       blocktide-sim (--host PORT | --join HOST:PORT) [--delay FRAMES]\n"
    "                     [--seed TICKS] (--script FILE | --random SEED | --computer)\n"
    "                     [--frames N] [--every N] [--shadow] [--stats] [--record FILE]\n"
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
    "Network match: --host PORT waits (10 s at most) for a player to join on UDP\n"
    "PORT and plays player 0; --join HOST:PORT joins it and plays player 1. Each\n"
    "side plays only its own player: the script's or the random player's column\n"
    "of it, or the computer (--computer alone); the host's --seed deals the\n"
    "pieces. Frames run in real time, one every 10 ms; both sides play the same\n"
    "--frames N (give both the same N) and print the same wells; when both\n"
    "players are out before, the host starts the next match.\n"
    "  --delay FRAMES the input delay, 1 to 10 (default: from the round trip)\n"
    "Network figures go to the standard error.\n"
    "Exit status: 0 after the match, 2 on a bad argument or script; for --replay\n"
    "0 when every digest matched, 1 when the replay diverged, 2 on a bad file;\n"
    "for a network match 1 when the two sides' matches differed, 3 when the other\n"
    "side was lost, refused the session or never came (within 10 s).\n";

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

bool IsComputerPlayer(const char* value) {
  return value != nullptr && (std::strcmp(value, "both") == 0 || std::strcmp(value, "0") == 0 ||
                              std::strcmp(value, "1") == 0);
}

// "--host PORT" or "--join HOST:PORT" (the last colon splits).
bool ParseNetTarget(const char* option, const char* value, SimNetPlan& net, uint64_t& port) {
  if (value == nullptr) return false;
  net.host = std::strcmp(option, "--host") == 0;
  const char* portText = value;
  if (!net.host) {
    const char* colon = std::strrchr(value, ':');
    const size_t length = colon == nullptr ? 0 : static_cast<size_t>(colon - value);
    if (length == 0 || length >= sizeof net.hostName) return false;
    std::memcpy(net.hostName, value, length);
    net.hostName[length] = '\0';
    portText = colon + 1;
  }
  return ParseNumber(portText, 65535, port) && port != 0;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t seed = 1000, randomSeed = 0, frames = 0, every = 0;
  const char* scriptPath = nullptr;
  bool random = false, framesGiven = false, shadow = false, stats = false;
  bool computer[2] = {false, false};
  const char* replayPath = nullptr;
  const char* recordPath = nullptr;
  SimNetPlan net{};
  bool networked = false, computerOwn = false;
  uint64_t port = 0, delay = 0;
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
    } else if (std::strcmp(arg, "--host") == 0 || std::strcmp(arg, "--join") == 0) {
      if (networked) return Fail("give one of --host and --join", "");
      if (!ParseNetTarget(arg, value, net, port)) {
        return Fail(arg, " needs PORT (--host) or HOST:PORT (--join), port 1 to 65535");
      }
      networked = true;
      ++i;
    } else if (std::strcmp(arg, "--delay") == 0) {
      if (!ParseNumber(value, NET_MAX_DELAY, delay) || delay == 0) return Fail("--delay needs a number from 1 to 10", "");
      ++i;
    } else if (std::strcmp(arg, "--computer") == 0 && !IsComputerPlayer(value)) {
      computerOwn = true;  // the own player of a network match
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
  if (networked && (computer[0] || computer[1])) return Fail("a network match takes --computer alone", "");
  if (!networked && (computerOwn || delay != 0)) {
    return Fail(computerOwn ? "--computer needs 0, 1 or both" : "--delay needs --host or --join", "");
  }
  if (random && scriptPath != nullptr) return Fail("give exactly one of --script and --random", "");
  if (!random && scriptPath == nullptr && !computer[0] && !computer[1] && !computerOwn) {
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

  if (networked) {
    SimInput input;
    BeginSimInput(input, random, randomSeed, runs);
    net.port = static_cast<uint16_t>(port);
    net.delay = static_cast<uint8_t>(delay);
    net.seed = static_cast<uint32_t>(seed);
    net.frames = static_cast<int64_t>(frames);
    net.computer = computerOwn;
    net.shadow = shadow;
    net.every = every;
    net.stats = stats;
    net.recordPath = recordPath;
    return RunNetworkMatch(net, input);
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

  SimInput input;
  BeginSimInput(input, random, randomSeed, runs);
  int64_t frame = 0;
  while (static_cast<uint64_t>(frame) < frames && !(gameState.gameOver[0] && gameState.gameOver[1])) {
    NextSimInput(input, simState.held);
    SimStep();
    ++frame;
    if (every != 0 && frame % static_cast<int64_t>(every) == 0) PrintWells(stdout, frame);
  }
  PrintRunEnd(frame, every, stats);
  if (!CloseSimRecording()) {
    return Fail("the recording could not be written: ", recordPath);
  }
  return 0;
}
