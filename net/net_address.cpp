// Address text and dotted addresses, the same on every platform.
#include <cstdio>

#include "net/net_socket.h"

void FormatAddress(const NetAddress& a, bool withPort, char* text, size_t size) {
  if (withPort) {
    std::snprintf(text, size, "%u.%u.%u.%u:%u", a.ip >> 24, (a.ip >> 16) & 0xFF, (a.ip >> 8) & 0xFF, a.ip & 0xFF,
                  static_cast<unsigned>(a.port));
  } else {
    std::snprintf(text, size, "%u.%u.%u.%u", a.ip >> 24, (a.ip >> 16) & 0xFF, (a.ip >> 8) & 0xFF, a.ip & 0xFF);
  }
}

bool ResolveHost(const char* name, NetAddress& out) {
  // Four numbers 0 to 255 with dots between: anything else is a name.
  uint32_t ip = 0;
  int parts = 0;
  const char* c = name;
  while (parts < 4) {
    if (*c < '0' || *c > '9') break;
    uint32_t v = 0;
    int digits = 0;
    while (*c >= '0' && *c <= '9' && digits < 4) {
      v = v * 10 + static_cast<uint32_t>(*c++ - '0');
      digits += 1;
    }
    if (v > 255 || digits > 3) break;
    ip = ip << 8 | v;
    parts += 1;
    if (parts < 4 && *c++ != '.') break;
  }
  if (parts == 4 && *c == '\0') {
    out.ip = ip;
    return true;
  }
  return LookUpHostName(name, out);
}
