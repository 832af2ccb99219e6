// blocktide-sim --host / --join: this side's player in a network match with
// another simulator, in real time (a frame every 10 ms), through the
// network session. Both sides play the same frames and print the same wells.
#include <sys/resource.h>

#include <cstring>

#include "computer/computer_player.h"
#include "engine/frame_gravity.h"
#include "net/net_session.h"
#include "tools/sim/sim.h"

namespace {

constexpr uint32_t HOST_WAIT_MS = 10000;  // a host nobody joins gives up (status 3)
constexpr uint32_t LINGER_MS = 3000;      // after the match: the peer's goodbye awaited

struct NetRun {
  const SimNetPlan* plan;
  SimInput* input;
  bool started;              // the first Start frame ran
  bool restartAsked;         // host: both were out, the next Start is on its way
  int64_t matchFrames;       // frames run since the first Start
  uint64_t waited;           // frames that were due and had to wait
  uint32_t waitedFrame;      // the frame counted last, + 1
  uint32_t startedMs, endedMs;
};

int Lost(const NetSession& s) {
  std::fprintf(stderr, "blocktide-sim: %s\n", s.endText);
  return s.endReason == NetEnd::Differ ? 1 : 3;
}

// This side's player's action for the input it sends now.
Action OwnAction(NetRun& run, int own) {
  Action held[2];
  NextSimInput(*run.input, held);
  if (!run.plan->computer) return held[own];
  return gameState.gameOver[own] ? Action::NoAction : ComputerAction(own, run.plan->level);
}

// A frame's events and tick, as the window runs a recorded match: the
// Start with the host's generator, Stop, the shadow switches; then the tick.
void RunFrame(NetRun& run, const NetFrame& f) {
  if (f.start) {
    // The run's clock: frame and time count from the first Start, as in a
    // local run; later Starts find it running, as the window's timers.
    if (!run.started) frameGravity = FrameGravity{};
    SetNetGenerator(f.generator);
    RecordBeforeStart(simRecorder);
    ResetPlayer(0);
    ResetPlayer(1);
    RecordAfterStart(simRecorder);
    ResetComputer();
    if (!run.started) run.startedMs = MonotonicMs();
    run.started = true;
    run.restartAsked = false;
  }
  if (f.stop) {
    gameState.gameOver[0] = gameState.gameOver[1] = true;
    RecordStop(simRecorder);
  }
  for (int p = 0; p < PLAYERS; ++p) {
    if (!f.shadowSet[p]) continue;
    gameState.shadowOn[p] = f.shadow[p];
    RecordShadow(simRecorder, p);
  }
  simState.held[0] = f.action[0];
  simState.held[1] = f.action[1];
  SimStep();
  if (run.started) run.matchFrames += 1;
}

bool MatchOver(const NetRun& run) { return run.started && run.matchFrames >= run.plan->frames; }

// Unlike a local run, a network run plays its frames out: when both players
// are out the host starts the next match, as a player would press Start.
void RestartWhenBothOut(NetSession& s, NetRun& run) {
  if (!s.host || !run.started || run.restartAsked || !gameState.gameOver[0] || !gameState.gameOver[1]) return;
  NetRequestStart(s);
  run.restartAsked = true;
}

// Waits for the handshake; false when the session ended instead.
bool Connect(NetSession& s) {
  while (s.phase != NetPhase::Playing) {
    if (s.phase == NetPhase::Ended) return false;
    WaitForDatagram(s.socket, 5);
    NetPoll(s, MonotonicMs());
  }
  return true;
}

// The frames due by the clock (frame N at clockStartMs + 10 N), at most
// five before the next poll; a frame whose remote input is missing waits.
void RunDueFrames(NetSession& s, NetRun& run, uint32_t nowMs) {
  for (int i = 0; i < NET_FRAMES_PER_MESSAGE && !MatchOver(run) && NetPlaying(s); ++i) {
    if (!NetFrameDue(s, nowMs)) return;
    if (NetWantsLocal(s)) NetSubmitLocal(s, OwnAction(run, s.localPlayer), nowMs);
    NetFrame f;
    if (!NetNextFrame(s, f)) {
      if (run.waitedFrame != s.frame + 1) run.waited += 1;
      run.waitedFrame = s.frame + 1;
      return;
    }
    RunFrame(run, f);
    NetFrameDone(s, nowMs);
    RestartWhenBothOut(s, run);
    if (run.plan->every != 0 && run.started && run.matchFrames % static_cast<int64_t>(run.plan->every) == 0) {
      PrintWells(stdout, run.matchFrames);
    }
  }
}

// After the last frame: the goodbye (with the final digest) once the peer
// holds every input it needs, then the peer's goodbye, compared in turn.
void Linger(NetSession& s) {
  const uint32_t endFrame = s.frame;
  const uint32_t began = MonotonicMs();
  for (uint32_t now = began; now - began < LINGER_MS; now = MonotonicMs()) {
    if (!s.byeSent && (s.peerAck >= endFrame || s.phase != NetPhase::Playing)) NetSayGoodbye(s, now);
    if (s.byeSent && (s.byeReceived || s.endReason == NetEnd::Differ)) return;
    WaitForDatagram(s.socket, 5);
    NetPoll(s, MonotonicMs());
  }
  if (!s.byeSent) NetSayGoodbye(s, MonotonicMs());
}

const char* const DROP_NAMES[] = {"length", "magic", "other format", "kind", "field", "stranger",
                                  "session", "frames", "role", "unexpected"};
static_assert(sizeof DROP_NAMES / sizeof DROP_NAMES[0] == static_cast<size_t>(NetDrop::Count), "a name per drop");

void PrintNetworkFigures(const NetSession& s, const NetRun& run) {
  uint64_t dropped = 0;
  for (uint64_t n : s.counters.dropped) dropped += n;
  const double seconds = (run.endedMs - run.startedMs) / 1000.0;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::fprintf(stderr,
               "blocktide-sim: network: player %d, delay %u frames, round trip %u ms, frames %lld, waited %llu "
               "(%.2f %%), held %u, %.2f frames/s, cpu %.2f s (%.2f %% of a core), datagrams sent %llu received %llu "
               "dropped %llu\n",
               s.localPlayer, s.delay, s.rttMs, static_cast<long long>(run.matchFrames),
               static_cast<unsigned long long>(run.waited),
               run.matchFrames > 0 ? 100.0 * static_cast<double>(run.waited) / static_cast<double>(run.matchFrames) : 0.0,
               s.counters.holds, seconds > 0 ? static_cast<double>(run.matchFrames) / seconds : 0.0, cpu,
               seconds > 0 ? 100.0 * cpu / seconds : 0.0,
               static_cast<unsigned long long>(s.counters.sent), static_cast<unsigned long long>(s.counters.received),
               static_cast<unsigned long long>(dropped));
  for (int i = 0; i < static_cast<int>(NetDrop::Count); ++i) {
    if (s.counters.dropped[i] != 0) {
      std::fprintf(stderr, "blocktide-sim: network: dropped for %s: %llu\n", DROP_NAMES[i],
                   static_cast<unsigned long long>(s.counters.dropped[i]));
    }
  }
}

}  // namespace

int RunNetworkMatch(const SimNetPlan& plan, SimInput& input) {
  if (plan.recordPath != nullptr && !OpenSimRecording(plan.recordPath)) {
    std::fputs("blocktide-sim: cannot write the recording: ", stderr);
    PrintEscaped(stderr, plan.recordPath);
    std::fputc('\n', stderr);
    return 2;
  }
  NetSession& s = netSession;
  NetOptions options = DefaultNetOptions();
  options.forcedDelay = plan.delay;
  options.waitLimitMs = HOST_WAIT_MS;
  options.fixedGenerator = true;
  options.generator = NetGenerator{{plan.seed, plan.seed}, plan.seed};
  if (plan.host) {
    NetHost(s, plan.port, options, MonotonicMs());
  } else {
    NetAddress host{0, plan.port};
    if (!ResolveHost(plan.hostName, host)) {
      std::fprintf(stderr, "blocktide-sim: no such host: ");
      PrintEscaped(stderr, plan.hostName);
      std::fputc('\n', stderr);
      return 3;
    }
    NetJoin(s, host, options, MonotonicMs());
  }
  if (!Connect(s)) return Lost(s);

  // As the window starts: both players out until the Start, which the host
  // sends with its first input, so that the match's frame k is the session's
  // frame delay + k on both sides and each side's k-th input is its k-th.
  gameState = {};
  gameState.gameOver[0] = gameState.gameOver[1] = true;
  simState.computer[0] = simState.computer[1] = false;
  if (plan.host) NetRequestStart(s);
  if (plan.shadow) NetRequestShadow(s, s.localPlayer, 1);

  NetRun run{};
  run.plan = &plan;
  run.input = &input;
  while (!MatchOver(run) && NetPlaying(s)) {
    const uint32_t now = MonotonicMs();
    NetPoll(s, now);
    RunDueFrames(s, run, now);
    const int32_t untilDue = static_cast<int32_t>(s.clockStartMs + s.frame * FRAME_PERIOD_MS - MonotonicMs());
    if (untilDue > 0 || run.waitedFrame == s.frame + 1) {
      WaitForDatagram(s.socket, untilDue > 0 ? static_cast<uint32_t>(untilDue) : 1u);
    }
  }
  run.endedMs = MonotonicMs();
  if (!MatchOver(run)) {
    const int status = Lost(s);
    NetClose(s);
    return status;
  }
  Linger(s);
  PrintNetworkFigures(s, run);
  if (s.endReason == NetEnd::Differ) {
    const int status = Lost(s);
    NetClose(s);
    return status;
  }
  NetClose(s);
  PrintRunEnd(run.matchFrames, plan.every, plan.stats);
  if (!CloseSimRecording()) {
    std::fputs("blocktide-sim: the recording could not be written: ", stderr);
    PrintEscaped(stderr, plan.recordPath);
    std::fputc('\n', stderr);
    return 2;
  }
  return 0;
}
