// blocktide-lobby-load's record and the operations its two files share:
// the hosts', joiners' and direct pairs' sockets (lobby_load_peers.cpp) and
// the relay steps and the command line (lobby_load.cpp).
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/xorshift.h"
#include "lobby/lobby_wire.h"
#include "net/net_socket.h"

constexpr int DIRECT_PAIRS = 4;
constexpr size_t MIN_DATAGRAM = 60, MAX_DATAGRAM = 90;
constexpr uint32_t HANDSHAKE_WINDOW = 64;    // cookie round trips in flight at once
constexpr uint64_t RESEND_NS = 300000000;    // a request unanswered this long goes again
constexpr uint64_t PHASE_LIMIT_NS = 20000000000ull;  // a phase that takes longer is given up
constexpr uint64_t KEEP_ALIVE_NS = 2000000000;  // joined rooms idle in a step stay alive (the lobby ends them after 10 s)
constexpr uint64_t DRAIN_NS = 300000000;     // after a step, echoes still on the way are let in
// A room's relay cap is 32 KB/s each way: 250 datagrams of 90 bytes and the
// envelope's 16 a second keep under it with room for bursts.
constexpr uint64_t MAX_RATE = 250;
constexpr uint8_t PING = 0, KEEP = 1;        // a datagram's second byte
constexpr uint32_t LOOPBACK = 0x7F000001;

// One socket: a host, a joiner, or one side of a direct pair.
struct Peer {
  int fd;
  NetAddress address;
  uint64_t code;    // hosts: the code given; joiners: the code to join
  uint64_t ticket;  // its own, in its requests and the lobby's replies
  uint64_t token;   // the room's, from CodeGiven (hosts) or Peers (joiners)
  uint8_t stage;    // handshake: 0 to start, 1 asked, 2 asked with the cookie, 3 done, 4 refused
  uint64_t askedNs, startedNs;
};

struct Figures {
  uint64_t sent[2], received[2];  // relayed, direct: pings sent, and datagrams in (both legs)
  std::vector<uint32_t> rtt[2];   // ns
};

// The run's one record.
struct Load {
  uint16_t port;
  uint32_t pid;
  uint32_t rooms;
  uint64_t rate, stepSeconds;
  uint32_t steps[16];
  uint32_t stepCount;
  std::vector<Peer> hosts, joiners;
  std::vector<uint32_t> hostOf;  // joiner j's room is hosts[hostOf[j]]
  std::vector<uint32_t> joined;  // the joiners whose join was answered
  Peer direct[2 * DIRECT_PAIRS];  // even: the pinging side, odd: the echoing one
  int epoll;
  NetAddress lobby;
  Xorshift64 random;
  uint64_t sendFaults, strays;
  Figures figures;
  bool stepOn;  // counting into figures
};

// Tags: hosts from 0, joiners from JOINER_TAG, the direct sockets from DIRECT_TAG.
constexpr uint32_t JOINER_TAG = 1u << 20, DIRECT_TAG = 1u << 21;

extern Load load;

uint64_t NowNs();
uint64_t CpuNs();
sockaddr_in ToSockaddr(const NetAddress& a);
// The lobby's VmRSS in KiB and its CPU time in ns (with --pid), or 0.
uint64_t LobbyResidentKiB();
uint64_t LobbyCpuNs();
bool OpenPeer(Peer& p, const NetAddress& at, uint32_t tag);
Peer& PeerOf(uint32_t tag);
void Send(const Peer& from, const NetAddress& to, const uint8_t* data, size_t size);
void Percentiles(std::vector<uint32_t>& v, double& median, double& p99);
uint32_t Handshakes(std::vector<Peer>& peers, uint32_t tagBase, bool joining, std::vector<uint32_t>& rtt,
                    uint32_t& refused);
NetAddress LoopbackAt(uint32_t block, uint32_t i, uint16_t port);
bool DrawTickets(std::vector<Peer>& peers);
void PrintHandshakes(const char* what, uint32_t done, uint32_t asked, uint32_t refused, uint64_t ns,
                     std::vector<uint32_t>& rtt);
