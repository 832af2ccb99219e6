// The receive loop every reader of a socket shares.
#include "net/net_socket.h"

NetRead ReadWaiting(NetSocket s, int32_t most, NetTake take, void* context) {
  // One byte more than any datagram taken: one that fills it was cut.
  uint8_t buffer[NET_READ_BYTES];
  NetRead r{};
  while (r.read < most) {
    NetAddress from{};
    const int32_t n = ReceiveDatagram(s, buffer, sizeof buffer, from, &r.faults);
    if (n < 0) break;
    if (static_cast<size_t>(n) >= sizeof buffer) {
      ++r.tooLong;
      continue;
    }
    take(context, from, buffer, static_cast<size_t>(n));
    ++r.read;
  }
  return r;
}
