// blocktide-sim --host / --join: this side's player in a network match with
// another simulator, in real time (a frame every 10 ms), through the
// network session. Both sides play the same frames and print the same wells.
#include <sys/resource.h>

#include <cstring>

#include "computer/computer_player.h"
#include "engine/frame_gravity.h"
#include "lobby/lobby_client.h"
#include "net/net_session.h"
#include "tools/sim/sim.h"

namespace {

constexpr uint32_t HOST_WAIT_MS = 10000;  // a host nobody joins gives up (status 3)

struct SimNetRun {
  const SimNetPlan* plan;
  SimInput* input;
  NetSession* session;
  bool started;              // the first Start frame ran
  bool restartAsked;         // host: both were out, the next Start is on its way
  int64_t matchFrames;       // frames run since the first Start
  uint32_t startedMs, endedMs;
  uint32_t inviteMs;         // the invite client began (0: play by address), + 1
  uint32_t waitShown;        // the seconds left said last while the peer is silent (0: none)
  bool fallbackSaid;         // the invite's move to the relay, said
};

// What the window shows in its title and debug output, on the standard
// error: the wait on a silent peer, its end, a peer that moved.
void SayPathNews(SimNetRun& run, uint32_t nowMs) {
  NetSession& s = *run.session;
  const uint32_t left = NetWaitingSeconds(s, nowMs);
  if (left != 0 && left != run.waitShown) std::fprintf(stderr, "BlockTide - waiting for the other player (%u s)\n", left);
  run.waitShown = left;
  const LobbyClientStats invited = LobbyClientFigures(lobbyClient);
  if (run.inviteMs != 0 && invited.fellBack && !run.fallbackSaid) {
    run.fallbackSaid = true;
    std::fprintf(stderr, "blocktide-sim: invite: the direct path fell silent: relayed over %s after %u ms\n",
                 LobbyPathFamily(lobbyClient), invited.fallbackSilenceMs);
  }
  for (NetEvent e = NetTakeEvent(s); e == NetEvent::Resumed || e == NetEvent::Moved; e = NetTakeEvent(s)) {
    const NetStats stats = NetSessionStats(s);
    if (e == NetEvent::Resumed) {
      std::fprintf(stderr,
                   "blocktide-sim: network: the other player answers again after %u ms of silence; the next frame "
                   "ran %u ms later\n",
                   stats.lastSilenceMs, stats.lastResumeFrameMs);
    } else {
      char peer[NET_ADDRESS_TEXT];
      NetPeerAddressText(s, peer, sizeof peer);
      std::fprintf(stderr, "blocktide-sim: network: the other player moved to %s\n", peer);
    }
  }
}

int Lost(const NetSession& s) {
  std::fprintf(stderr, "blocktide-sim: %s\n", NetEndText(s));
  return NetSessionStats(s).endReason == NetEnd::Differ ? 1 : 3;
}

// This side's player's action for the input it sends now.
Action OwnAction(void* context, int32_t own) {
  SimNetRun& run = *static_cast<SimNetRun*>(context);
  Action held[2];
  NextSimInput(*run.input, held);
  if (!run.plan->computer) return held[own];
  return gameState.gameOver[own] ? Action::NoAction : ComputerAction(own, run.plan->level);
}

// The run's clock: frame and time count from the first Start, as in a
// local run; later Starts find it running, as the window's timers.
void BeforeStart(void* context) {
  const SimNetRun& run = *static_cast<SimNetRun*>(context);
  if (!run.started) frameGravity = FrameGravity{};
}

void AfterStart(void* context) {
  SimNetRun& run = *static_cast<SimNetRun*>(context);
  ResetComputer();
  if (!run.started) {
    run.startedMs = MonotonicMs();
    // How long an invite took: the lobby, the punching, the handshake.
    if (run.inviteMs != 0 && !LobbyClientFigures(lobbyClient).host) {
      std::fprintf(stderr, "blocktide-sim: invite: path after %u ms, first frame after %u ms\n",
                   LobbyClientFigures(lobbyClient).pathMs - (run.inviteMs - 1), run.startedMs - (run.inviteMs - 1));
    }
  }
  run.started = true;
  run.restartAsked = false;
}

void Tick(void*, const Action action[2]) {
  simState.held[0] = action[0];
  simState.held[1] = action[1];
  FrameTick();
  RecordFrame(simRecorder);
}

bool MatchOver(const SimNetRun& run) { return run.started && run.matchFrames >= run.plan->frames; }

const NetFrameHost SIM_FRAME_HOST = {nullptr, &simRecorder, BeforeStart, AfterStart, nullptr, Tick, SimGravityTick};

// One agreed frame as the window runs it; then, unlike a local run, a
// network run plays its frames out: when both players are out the host
// starts the next match, as a player would press Start.
bool RunFrame(void* context, const NetFrame& f) {
  SimNetRun& run = *static_cast<SimNetRun*>(context);
  NetFrameHost host = SIM_FRAME_HOST;
  host.context = context;
  NetApplyFrame(f, host);
  PrintMatchEnds();
  if (run.started) run.matchFrames += 1;
  const bool bothOut = gameState.gameOver[0] && gameState.gameOver[1];
  if (NetSessionStats(*run.session).localPlayer == 0 && run.started && !run.restartAsked && bothOut) {
    NetRequestStart(*run.session);
    run.restartAsked = true;
  }
  if (run.plan->every != 0 && run.started && run.matchFrames % static_cast<int64_t>(run.plan->every) == 0) {
    PrintWells(stdout, run.matchFrames);
  }
  return !MatchOver(run);
}

// Through the lobby: the code (the host prints it), then the path; the
// session has begun on it when this answers 0, else the exit status.
int FindPath(const SimNetPlan& plan, NetSession& s, const NetOptions& options) {
  NetAddress found[NET_NAME_ADDRESSES];
  char error[300];
  int32_t firsts = 0;
  const int32_t count = ResolveHostAll(plan.lobbyName, plan.lobbyPort, found, firsts, error, sizeof error);
  if (count == 0) {
    std::fprintf(stderr, "blocktide-sim: no such lobby host: ");
    PrintEscaped(stderr, error);
    std::fputc('\n', stderr);
    return 3;
  }
  LobbyClient& c = lobbyClient;
  if (plan.host) LobbyHostInvite(c, s, found, firsts, options, MonotonicMs());
  else LobbyJoinInvite(c, s, found, firsts, plan.code, options, MonotonicMs());
  // The name's other addresses: more processes of the same lobby.
  for (int32_t i = firsts; i < count; ++i) LobbyAddSpare(c, found[i]);
  for (int i = 0; i < plan.spareCount; ++i) {
    char host[NET_HOST_TEXT];
    uint16_t port = plan.lobbyPort;
    bool portGiven = false;
    NetAddress spare[NET_HOST_ADDRESSES];
    if (SplitHostAndPort(plan.spares[i], host, port, portGiven, error, sizeof error) &&
        ResolveHost(host, port, spare, error, sizeof error) > 0)
      LobbyAddSpare(c, spare[0]);
  }
  uint32_t reattaches = 0;
  for (;;) {
    switch (LobbyTakeClientEvent(c)) {
      case LobbyClientEvent::CodeGiven: {
        char code[LOBBY_CODE_TEXT];
        FormatLobbyCode(LobbyClientFigures(c).code, code);
        std::fprintf(stderr, "invite code: %s\n", code);
        std::fflush(stderr);
        continue;
      }
      case LobbyClientEvent::Path:
        return 0;
      case LobbyClientEvent::Failed:
        std::fprintf(stderr, "blocktide-sim: %s\n", LobbyClientText(c));
        return 3;
      case LobbyClientEvent::None:
        break;
    }
    WaitForDatagram(LobbyClientSocket(c), 5);
    LobbyClientPoll(c, MonotonicMs());
    if (LobbyClientFigures(c).reattaches != reattaches) {
      reattaches = LobbyClientFigures(c).reattaches;
      std::fprintf(stderr, "invite: re-attached to another address of the lobby (%u)\n", reattaches);
      std::fflush(stderr);
    }
  }
}

// The socket's reader: the session's own, or by invite the lobby client,
// which hands the session what it may trust.
void Poll(NetSession& s, bool invite, uint32_t nowMs) {
  if (invite) LobbyClientPoll(lobbyClient, nowMs);
  else NetPoll(s, nowMs);
}

// Waits for the handshake; false when the session ended instead.
bool Connect(NetSession& s, bool invite) {
  for (;;) {
    const NetEvent e = NetTakeEvent(s);
    if (e == NetEvent::Connected) return true;
    if (e == NetEvent::Ended) return false;
    WaitForDatagram(NetSessionSocket(s), 5);
    Poll(s, invite, MonotonicMs());
  }
}

const char* const DROP_NAMES[] = {"length", "magic", "other format", "kind", "field", "stranger",
                                  "session", "frames", "role", "unexpected", "unproven"};
static_assert(sizeof DROP_NAMES / sizeof DROP_NAMES[0] == static_cast<size_t>(NetDrop::Count), "a name per drop");

void PrintNetworkFigures(const NetStats& s, const SimNetRun& run) {
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
               static_cast<unsigned long long>(s.waits),
               run.matchFrames > 0 ? 100.0 * static_cast<double>(s.waits) / static_cast<double>(run.matchFrames) : 0.0,
               s.holds, seconds > 0 ? static_cast<double>(run.matchFrames) / seconds : 0.0, cpu,
               seconds > 0 ? 100.0 * cpu / seconds : 0.0,
               static_cast<unsigned long long>(s.sent), static_cast<unsigned long long>(s.received),
               static_cast<unsigned long long>(s.droppedAll));
  for (int i = 0; i < static_cast<int>(NetDrop::Count); ++i) {
    if (s.dropped[i] != 0) {
      std::fprintf(stderr, "blocktide-sim: network: dropped for %s: %llu\n", DROP_NAMES[i],
                   static_cast<unsigned long long>(s.dropped[i]));
    }
  }
}

// Every way out of a network match: the recording closed (a lost match's
// too, ending in its "digest end"); a failed write turns a success into 2.
int Closing(const SimNetPlan& plan, int status) {
  if (CloseSimRecording() || status != 0) return status;
  std::fputs("blocktide-sim: the recording could not be written: ", stderr);
  PrintEscaped(stderr, plan.recordPath);
  std::fputc('\n', stderr);
  return 2;
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
  const uint32_t inviteMs = MonotonicMs();
  if (plan.invite) {
    if (const int status = FindPath(plan, s, options)) return Closing(plan, status);
  } else if (plan.host) {
    // Port 0: the system picks one; the joiner is told it by this line.
    NetAddress own;
    if (NetHost(s, plan.port, options, MonotonicMs()) &&
        LocalAddressToward(NetSessionSocket(s), Ipv4Address(0x7F000001, 1), own)) {
      std::fprintf(stderr, "hosting on UDP port %u\n", static_cast<unsigned>(own.port));
      std::fflush(stderr);
    }
  } else {
    NetAddress found[NET_HOST_ADDRESSES];
    char error[300];
    const int32_t count = ResolveHost(plan.hostName, plan.port, found, error, sizeof error);
    if (count == 0) {
      std::fprintf(stderr, "blocktide-sim: no such host: ");
      PrintEscaped(stderr, error);
      std::fputc('\n', stderr);
      return Closing(plan, 3);
    }
    if (NetJoin(s, found[0], options, MonotonicMs()) && count > 1) NetAlsoJoin(s, found[1], MonotonicMs());
  }
  if (!Connect(s, plan.invite)) return Closing(plan, Lost(s));
  const bool hosting = NetSessionStats(s).localPlayer == 0;
  if (plan.invite) {
    std::fprintf(stderr, "path: %s over %s\n",
                 LobbyClientFigures(lobbyClient).path == LobbyPath::Direct ? "direct" : "relayed",
                 LobbyPathFamily(lobbyClient));
    std::fflush(stderr);
  }

  // As the window starts: both players out until the Start, which the host
  // sends with its first input, so that the match's frame k is the session's
  // frame delay + k on both sides and each side's k-th input is its k-th.
  NetBeginMatchState();
  simState.computer[0] = simState.computer[1] = false;
  if (hosting) NetRequestStart(s);
  if (plan.shadow) NetRequestShadow(s, hosting ? 0 : 1, 1);

  SimNetRun run{};
  run.plan = &plan;
  run.input = &input;
  run.session = &s;
  run.inviteMs = plan.invite ? inviteMs + 1 : 0;
  const NetFrameCalls calls = {&run, OwnAction, RunFrame};
  while (!MatchOver(run) && NetPlaying(s)) {
    const uint32_t now = MonotonicMs();
    Poll(s, plan.invite, now);
    const NetRun ran = NetRunFrames(s, now, NET_FRAMES_PER_MESSAGE, calls);
    SayPathNews(run, now);
    const uint32_t untilDue = NetMsUntilDue(s, MonotonicMs());
    if (untilDue > 0 || ran.waited) WaitForDatagram(NetSessionSocket(s), untilDue > 0 ? untilDue : 1u);
  }
  run.endedMs = MonotonicMs();
  if (!MatchOver(run)) {
    const int status = Lost(s);
    NetClose(s);
    return Closing(plan, status);
  }
  // The goodbyes, with the digests of the frames since the last one.
  while (!NetFinish(s, MonotonicMs())) {
    WaitForDatagram(NetSessionSocket(s), 5);
    Poll(s, plan.invite, MonotonicMs());
  }
  PrintNetworkFigures(NetSessionStats(s), run);
  if (NetSessionStats(s).endReason != NetEnd::Left) {
    const int status = Lost(s);
    NetClose(s);
    return Closing(plan, status);
  }
  NetClose(s);
  PrintRunEnd(run.matchFrames, plan.every, plan.stats);
  return Closing(plan, 0);
}
