// blocktide-sim: plays a two-player match headless, from a script or a
// seeded random player, and prints the wells.
#include <cstdlib>
#include <cstring>

#include "computer/computer_player.h"
#include "lobby/lobby_wire.h"
#include "net/net_socket.h"
#include "net/net_wire.h"
#include "tools/parse_number.h"
#include "tools/sim/sim.h"

namespace {

const char USAGE[] =
    "usage: blocktide-sim [--seed TICKS] (--script FILE | --random SEED) [--frames N]\n"
    "                     [--every N] [--shadow] [--computer P[:LEVEL]] [--stats]\n"
    "                     [--record FILE]\n"
    "       blocktide-sim (--host PORT | --join HOST:PORT) [--delay FRAMES]\n"
    "                     [--seed TICKS] (--script FILE | --random SEED |\n"
    "                     --computer [P[:LEVEL]]) [--frames N] [--every N]\n"
    "                     [--shadow] [--stats] [--record FILE]\n"
    "       blocktide-sim --lobby HOST[:PORT] [--lobby-also HOST[:PORT]...] (--host-invite | --join-invite CODE)\n"
    "                     [the options of --host and --join]\n"
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
    "  --computer P[:LEVEL]  the computer plays player P (0, 1 or 'both') at\n"
    "                 LEVEL (1, the easiest, to 5, the default) in place of the\n"
    "                 script or the random player; once per player, so\n"
    "                 '--computer 0:2 --computer 1:3' pits level 2 against 3;\n"
    "                 a player that neither gives an input to holds nothing\n"
    "  --stats        after the wells, two lines per player: rows cleared and\n"
    "                 pieces placed ('player P: rows R pieces N'), then presses\n"
    "                 (actions that acted), key-downs and the median frames from\n"
    "                 a piece's appearance to its first press ('player P:\n"
    "                 presses X keydowns K firstpress F', F -1 for none)\n"
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
    "PORT (IPv6 and IPv4; 0: one the system picks) and plays player 0, printing\n"
    "'hosting on UDP port N' on the standard error; --join HOST:PORT joins it and\n"
    "plays player 1 (HOST a name, 192.0.2.7, or an IPv6 address in brackets:\n"
    "'[2001:db8::7]:41414'). Each side plays only its own player: the script's\n"
    "or the random player's column of it, or the computer (--computer alone, at\n"
    "level 5, or with this side's player and a level: '--computer 1:2'\n"
    "joining); the host's --seed deals the pieces. Frames run in real time, one\n"
    "every 10 ms; both sides play the same --frames N (give both the same N)\n"
    "and print the same wells; when both players are out before, the host\n"
    "starts the next match. A silent other side is waited for up to 30 s\n"
    "('BlockTide - waiting for the other player (N s)' each second, then\n"
    "'... answers again after S ms of silence ...'); one whose datagrams come\n"
    "from a new address is followed once it proves the session there.\n"
    "  --delay FRAMES the input delay, 1 to 40 (default: from the round trip)\n"
    "Invite codes: --host-invite asks the lobby (--lobby HOST[:PORT], port 41415\n"
    "by default) for a code and prints 'invite code: XXXX-XXXX' on the standard\n"
    "error; --join-invite CODE joins that host (any case, dash or not). Both\n"
    "punch a direct path for up to 3 s, else play through the lobby's relay, and\n"
    "print 'path: direct' or 'path: relayed' on the standard error.\n"
    "Network figures go to the standard error.\n"
    "Exit status: 0 after the match, 2 on a bad argument or script; for --replay\n"
    "0 when every digest matched, 1 when the replay diverged, 2 on a bad file;\n"
    "for a network match 1 when the two sides' matches differed, 3 when the other\n"
    "side was lost, refused the session or never came (within 10 s), or the\n"
    "lobby did not answer or knew no such code.\n";

int Fail(const char* what, const char* detail) {
  std::fputs("blocktide-sim: ", stderr);
  PrintEscaped(stderr, what);
  PrintEscaped(stderr, detail);
  std::fprintf(stderr, "\n%s", USAGE);
  return 2;
}

// --computer's value: "P" or "P:LEVEL", P 0, 1 or "both", LEVEL 1 to 5 (5
// when left out). A player given twice is refused, as is any other text.
const char* ParseComputer(const char* value, bool (&computer)[2], int32_t (&level)[2]) {
  if (value == nullptr) return "--computer needs 0, 1 or both";
  const char* colon = std::strchr(value, ':');
  const size_t length = colon != nullptr ? static_cast<size_t>(colon - value) : std::strlen(value);
  bool chosen[2] = {false, false};
  if (length == 4 && std::strncmp(value, "both", 4) == 0) {
    chosen[0] = chosen[1] = true;
  } else if (length == 1 && (value[0] == '0' || value[0] == '1')) {
    chosen[value[0] - '0'] = true;
  } else {
    return "--computer needs 0, 1 or both";
  }
  uint64_t n = COMPUTER_LEVEL_MAX;
  if (colon != nullptr && (!ParseNumber(colon + 1, COMPUTER_LEVEL_MAX, n) || n < COMPUTER_LEVEL_MIN)) {
    return "--computer: the level is a number from 1 to 5";
  }
  for (int p = 0; p < 2; ++p) {
    if (!chosen[p]) continue;
    if (computer[p]) return "--computer is given twice for a player";
    computer[p] = true;
    level[p] = static_cast<int32_t>(n);
  }
  return nullptr;
}

// "P" or "P:LEVEL" for --computer; anything else after --computer is the
// next option, and in a network match means this side's own player.
bool IsComputerPlayer(const char* value) {
  if (value == nullptr) return false;
  const size_t length = std::strcspn(value, ":");
  return (length == 1 && (value[0] == '0' || value[0] == '1')) || (length == 4 && std::strncmp(value, "both", 4) == 0);
}

// What was wrong with an address, on its own line before the usage line.
void TellWhy(const char* why) {
  std::fprintf(stderr, "blocktide-sim: ");
  PrintEscaped(stderr, why);
  std::fputc('\n', stderr);
}

// "--host PORT" or "--join HOST:PORT" ("[IPV6]:PORT" too); false with the
// reason in `error`.
bool ParseNetTarget(const char* option, const char* value, SimNetPlan& net, uint64_t& port, char* error,
                    size_t errorSize) {
  std::snprintf(error, errorSize, "port 1 to 65535 (--host 0: one the system picks)");
  if (value == nullptr) return false;
  net.host = std::strcmp(option, "--host") == 0;
  if (net.host) return ParseNumber(value, 65535, port);
  uint16_t given = 0;
  bool portGiven = false;
  if (!SplitHostAndPort(value, net.hostName, given, portGiven, error, errorSize)) return false;
  if (!portGiven) std::snprintf(error, errorSize, "a port is needed (an IPv6 address with one: [ADDRESS]:PORT)");
  port = given;
  return portGiven;
}

// "HOST", "HOST:PORT", "IPV6" or "[IPV6]:PORT" for --lobby (the port
// LOBBY_DEFAULT_PORT when left out); false with the reason in `error`.
bool ParseLobbyTarget(const char* value, SimNetPlan& net, char* error, size_t errorSize) {
  std::snprintf(error, errorSize, "HOST[:PORT] is needed");
  if (value == nullptr) return false;
  uint16_t port = LOBBY_DEFAULT_PORT;
  bool portGiven = false;
  if (!SplitHostAndPort(value, net.lobbyName, port, portGiven, error, errorSize)) return false;
  net.lobbyPort = port;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t seed = 1000, randomSeed = 0, frames = 0, every = 0;
  const char* scriptPath = nullptr;
  bool random = false, framesGiven = false, shadow = false, stats = false;
  bool computer[2] = {false, false};
  int32_t level[2] = {COMPUTER_LEVEL_MAX, COMPUTER_LEVEL_MAX};
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
      if (networked) return Fail("give one of --host, --join, --host-invite and --join-invite", "");
      char why[200];
      if (!ParseNetTarget(arg, value, net, port, why, sizeof why)) {
        TellWhy(why);
        return Fail(arg, " needs PORT (--host, 0 for one the system picks) or HOST:PORT (--join), port 1 to 65535");
      }
      networked = true;
      ++i;
    } else if (std::strcmp(arg, "--host-invite") == 0 || std::strcmp(arg, "--join-invite") == 0) {
      if (networked) return Fail("give one of --host, --join, --host-invite and --join-invite", "");
      net.host = arg[2] == 'h';
      net.invite = networked = true;
      if (!net.host) {
        if (value == nullptr || !ParseLobbyCode(value, net.code)) {
          return Fail("--join-invite needs an invite code: 8 characters, as XXXX-XXXX", "");
        }
        ++i;
      }
    } else if (std::strcmp(arg, "--lobby-also") == 0 && value != nullptr && net.spareCount < 4) {
      net.spares[net.spareCount++] = value;
      ++i;
    } else if (std::strcmp(arg, "--lobby") == 0) {
      char why[200];
      if (!ParseLobbyTarget(value, net, why, sizeof why)) {
        TellWhy(why);
        return Fail("--lobby needs HOST or HOST:PORT, port 1 to 65535", "");
      }
      ++i;
    } else if (std::strcmp(arg, "--delay") == 0) {
      if (!ParseNumber(value, NET_MAX_DELAY, delay) || delay == 0) return Fail("--delay needs a number from 1 to 40", "");
      ++i;
    } else if (std::strcmp(arg, "--computer") == 0 && !IsComputerPlayer(value)) {
      computerOwn = true;  // the own player of a network match
    } else if (std::strcmp(arg, "--computer") == 0) {
      if (const char* fault = ParseComputer(value, computer, level)) return Fail(fault, "");
      ++i;
    } else if (std::strcmp(arg, "--seed") == 0) {
      if (!ParseNumber(value, 0xFFFFFFFFu, seed)) return Fail("--seed needs a number from 0 to 4294967295", "");
      ++i;
    } else if (std::strcmp(arg, "--random") == 0) {
      if (!ParseNumber(value, UINT64_MAX, randomSeed)) return Fail("--random needs a number", "");
      random = true;
      ++i;
    } else if (std::strcmp(arg, "--frames") == 0) {
      if (!ParseNumber(value, RECORDING_MAX_FRAMES, frames)) {
        return Fail("--frames needs a number from 0 to 100000000", "");
      }
      framesGiven = true;
      ++i;
    } else if (std::strcmp(arg, "--every") == 0) {
      if (!ParseNumber(value, RECORDING_MAX_FRAMES, every) || every == 0) {
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
  if (net.invite != (net.lobbyName[0] != '\0')) {
    return Fail(net.invite ? "--host-invite and --join-invite need --lobby" : "--lobby needs --host-invite or --join-invite",
                "");
  }
  int32_t ownLevel = COMPUTER_LEVEL_MAX;
  if (networked) {
    // Each side plays one player: --computer alone or with that player's
    // number (0 hosting, 1 joining) and a level.
    const int own = net.host ? 0 : 1;
    if (computer[1 - own]) return Fail("a network match's --computer plays this side's player only", "");
    if (computer[own]) {
      computerOwn = true;
      ownLevel = level[own];
      computer[own] = false;
    }
  }
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
    net.level = ownLevel;
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
  simState.level[0] = level[0];
  simState.level[1] = level[1];

  SimInput input;
  BeginSimInput(input, random, randomSeed, runs);
  int64_t frame = 0;
  while (static_cast<uint64_t>(frame) < frames && !(gameState.gameOver[0] && gameState.gameOver[1])) {
    NextSimInput(input, simState.held);
    SimStep();
    PrintMatchEnds();
    ++frame;
    if (every != 0 && frame % static_cast<int64_t>(every) == 0) PrintWells(stdout, frame);
  }
  PrintRunEnd(frame, every, stats);
  if (!CloseSimRecording()) {
    return Fail("the recording could not be written: ", recordPath);
  }
  return 0;
}
