// blocktide-lobby: the invite-code service. One UDP socket, every datagram
// handed to the lobby service; nothing kept on disk. Built natively and for
// Windows from the same code (the sockets are net/'s); --store, several
// processes over one Redis, only where the build has hiredis (Linux).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lobby/lobby_service.h"
#include "lobby/lobby_store.h"
#include "tools/parse_number.h"

namespace {

const char USAGE[] =
    "usage: blocktide-lobby [--port PORT] [--rooms N] [--seconds S]\n"
#if !defined(_WIN32)
    "                       [--store redis://[:PASSWORD@]HOST[:PORT][/DB] --public ADDRESS...]\n"
#endif
    "Gives hosting programs invite codes (XXXX-XXXX), tells a joining program\n"
    "and its host each other's addresses, and relays their datagrams when no\n"
    "direct path answers. Keeps nothing on disk; prints one line per room event\n"
    "and a summary line when it stops (Ctrl+C, SIGTERM or --seconds).\n"
    "  --port PORT  the UDP port on every local address (default 41415)\n"
    "  --rooms N    the room cap, 1 to 4096 (default 1024); one network holds at\n"
    "               most a quarter of it, waiting and joined each; when it is\n"
    "               reached, the network with the most waiting rooms gives up\n"
    "               its oldest (its host is told and asks again), or, the rooms\n"
    "               shared out evenly, a new host is told the lobby is full\n"
    "  --seconds S  stop after S seconds (tests); default: run until stopped\n"
#if defined(_WIN32)
    "  (this Windows build keeps its rooms in its own memory only: no --store)\n"
#else
    "  --store URL  keep rooms, codes, tokens, the limits' counts and the cookie key\n"
    "               in Redis (keys with a time-to-live): every process given the\n"
    "               same store acts as one lobby; keep Redis on a private network.\n"
    "               Without it, everything stays in this process's memory\n"
    "  --public ADDRESS[:PORT]  where players reach this process (its relay),\n"
    "               told to joiners at the other processes; once a family\n"
#endif
    "A code not joined within 10 minutes expires; hosts refresh every 15 s; a\n"
    "relayed room carries at most 32 KB/s each way and ends 10 s after it falls\n"
    "silent. Per network (an IPv4 /24, an IPv6 /64): 30 registrations, 30 look-ups\n"
    "and 5 unknown codes a minute; 24 unknown codes a second in all. Each kind of\n"
    "line is printed once a second at most, with a count of those left out.\n";

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

struct Socket {
  NetSocket s;
};

bool SendOnSocket(void* context, const NetAddress& to, const uint8_t* data, size_t size) {
  return SendDatagram(static_cast<Socket*>(context)->s, to, data, size);
}

void TakeDatagram(void*, const NetAddress& from, const uint8_t* data, size_t size) {
  LobbyReceive(lobbyService, from, data, size, MonotonicMs());
}

void PrintLine(void*, const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

int Usage(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "blocktide-lobby: %s\n", message);
  std::fputs(USAGE, message != nullptr ? stderr : stdout);
  return message != nullptr ? 2 : 0;
}

// The public address of each family, as --public gives it.
bool TakePublic(const char* text, uint16_t port, NetAddress publics[LOBBY_FAMILIES]) {
  char host[NET_HOST_TEXT], error[160];
  uint16_t given = port;
  bool portGiven = false;
  NetAddress found[NET_HOST_ADDRESSES] = {};
  if (text == nullptr || !SplitHostAndPort(text, host, given, portGiven, error, sizeof error)) return false;
  if (ResolveHost(host, portGiven ? given : port, found, error, sizeof error) < 1) return false;
  publics[IsIpv4(found[0]) ? 1 : 0] = found[0];
  return true;
}

LobbyStore store;

void StoreNews(uint32_t) {
  const char* news = LobbyRedisNews(store);
  if (news[0] != '\0') PrintLine(nullptr, news);
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t port = LOBBY_DEFAULT_PORT, rooms = LOBBY_DEFAULT_ROOMS, seconds = 0;
  const char* storeUrl = nullptr;
  const char* publicText[4] = {};
  int publicCount = 0;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(a, "--help") == 0) return Usage(nullptr);
    if (std::strcmp(a, "--port") == 0 && ParseNumber(value, 65535, port) && port != 0) {
      ++i;
    } else if (std::strcmp(a, "--rooms") == 0 && ParseNumber(value, LOBBY_ROOM_SLOTS, rooms) && rooms != 0) {
      ++i;
    } else if (std::strcmp(a, "--store") == 0 && value != nullptr && storeUrl == nullptr) {
      storeUrl = value;
      ++i;
    } else if (std::strcmp(a, "--public") == 0 && value != nullptr && publicCount < 2) {
      publicText[publicCount++] = value;
      ++i;
    } else if (std::strcmp(a, "--seconds") == 0 && ParseNumber(value, 86400u * 365, seconds) && seconds != 0) {
      ++i;
    } else {
      char message[96];
      std::snprintf(message, sizeof message, "bad option or value: %s", a);
      return Usage(message);
    }
  }
  char error[160];
  NetAddress publics[LOBBY_FAMILIES] = {};
  for (int i = 0; i < publicCount; ++i)
    if (!TakePublic(publicText[i], static_cast<uint16_t>(port), publics)) {
      char message[96];
      std::snprintf(message, sizeof message, "not an address: --public %s", publicText[i]);
      return Usage(message);
    }
  if (publicCount > 0 && storeUrl == nullptr) return Usage("--public is for a lobby with --store");
  if (storeUrl != nullptr && !LobbyRedisStore(store, storeUrl, error, sizeof error)) {
    std::fprintf(stderr, "blocktide-lobby: %s\n", error);
    return 2;
  }
  if (!BeginSockets(error, sizeof error)) {
    std::fprintf(stderr, "blocktide-lobby: %s\n", error);
    return 1;
  }
  Socket socket = {OpenUdpSocket(static_cast<uint16_t>(port), error, sizeof error)};
  if (socket.s == NET_NO_SOCKET) {
    std::fprintf(stderr, "blocktide-lobby: %s\n", error);
    EndSockets();
    return 1;
  }
  uint64_t secret[LOBBY_SECRET_WORDS];
  if (!SecureRandom(secret, sizeof secret)) {
    std::fprintf(stderr, "blocktide-lobby: the system's secure random generator failed: not started\n");
    CloseUdpSocket(socket.s);
    EndSockets();
    return 1;
  }
  LobbyBegin(lobbyService, static_cast<uint32_t>(rooms), secret, SendOnSocket, &socket, PrintLine, nullptr);
  if (storeUrl != nullptr) {
    uint64_t process = 0;
    SecureRandom(&process, sizeof process);
    LobbyUseStore(lobbyService, store, process, publics);  // before the first poll connects: its channel
    std::printf("blocktide-lobby: process %016llx over the store %s\n", static_cast<unsigned long long>(process),
                std::strrchr(storeUrl, '@') != nullptr ? std::strrchr(storeUrl, '@') + 1 : storeUrl + 8);
  }
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  std::printf("blocktide-lobby: listening on UDP port %u, at most %u rooms\n", static_cast<unsigned>(port),
              static_cast<unsigned>(rooms));
  std::fflush(stdout);

  const uint32_t startMs = MonotonicMs();
  uint32_t faults = 0, faultSaidMs = 0, faultsSaid = 0;
  while (stopRequested == 0) {
    const uint32_t nowMs = MonotonicMs();
    if (seconds != 0 && nowMs - startMs >= seconds * 1000) break;
    if (storeUrl != nullptr) {
      // One wait for the socket and the store: a reply from Redis finishes
      // its answer at once, and no datagram waits on Redis.
      LobbyRedisWait(store, static_cast<int>(socket.s), 100);
      LobbyStorePoll(store, MonotonicMs());
      StoreNews(nowMs);
    } else {
      WaitForDatagram(socket.s, 100);
    }
    // At most a batch per pass, so that a flood cannot hold off the expiry
    // and the stop.
    const NetRead read = ReadWaiting(socket.s, 512, TakeDatagram, nullptr);
    faults += read.faults;
    // A socket that fails says so, once a second at most, rather than
    // passing for a lobby nobody asks.
    if (faults != faultsSaid && nowMs - faultSaidMs >= 1000) {
      std::fprintf(stderr, "blocktide-lobby: receiving failed (%u times so far)\n", faults);
      faultsSaid = faults;
      faultSaidMs = nowMs;
    }
    LobbyTick(lobbyService, MonotonicMs());
  }
  char summary[600];
  LobbySummary(lobbyService, summary, sizeof summary);
  std::printf("%s\n", summary);
  std::fflush(stdout);
  if (storeUrl != nullptr) {
    const LobbyCounts& c = lobbyService.counts;
    std::printf("blocktide-lobby: %llu calls to the store (one round trip each); %u requests told the lobby is "
                "unavailable, %u joins told by other processes, %u hosts re-attached here, %u requests dropped with "
                "the store's queue full\n",
                static_cast<unsigned long long>(store.roundTrips), c.unavailable, c.told, c.reattached, c.pendingFull);
    LobbyRedisClose(store);
  }
  CloseUdpSocket(socket.s);
  EndSockets();
  return 0;
}
