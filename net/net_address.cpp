// Addresses as the player types them and as titles and messages show them,
// the same on every platform: both families' literals, brackets, ports and
// scopes. Only a name's look-up is left to the system.
#include <cstdio>
#include <cstring>

#include "net/net_socket.h"

namespace {

constexpr uint8_t MAPPED[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decimal digits only, at most `limit`; false for none, other characters or
// more than the limit.
bool ReadDecimal(const char* text, size_t length, uint32_t limit, uint32_t& value) {
  if (length == 0 || length > 10) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < length; ++i) {
    if (!IsDigit(text[i])) return false;
    v = v * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  if (v > limit) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

// Four numbers 0 to 255 with dots between.
bool ReadIpv4(const char* text, size_t length, uint8_t out[4]) {
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    size_t end = at;
    while (end < length && IsDigit(text[end])) ++end;
    uint32_t v = 0;
    if (end - at > 3 || !ReadDecimal(text + at, end - at, 255, v)) return false;
    out[part] = static_cast<uint8_t>(v);
    if (part < 3 && (end >= length || text[end] != '.')) return false;
    at = end + 1;
  }
  return at == length + 1;
}

// Eight groups of one to four hex digits with colons between, one "::" for a
// run of zero groups, and a dotted IPv4 address in place of the last two.
bool ReadIpv6(const char* text, size_t length, uint8_t out[16]) {
  uint16_t groups[8] = {};
  int count = 0, gap = -1;
  size_t at = 0;
  if (length >= 2 && text[0] == ':' && text[1] == ':') {
    gap = 0;
    at = 2;
  }
  while (at < length) {
    size_t end = at;
    while (end < length && end - at <= 4 && HexValue(text[end]) >= 0) ++end;
    if (end < length && text[end] == '.') {
      uint8_t v4[4];
      if (count > 6 || !ReadIpv4(text + at, length - at, v4)) return false;
      groups[count++] = static_cast<uint16_t>(v4[0] << 8 | v4[1]);
      groups[count++] = static_cast<uint16_t>(v4[2] << 8 | v4[3]);
      at = length;
      break;
    }
    if (end == at || end - at > 4 || count == 8) return false;
    uint16_t v = 0;
    for (size_t i = at; i < end; ++i) v = static_cast<uint16_t>(v << 4 | HexValue(text[i]));
    groups[count++] = v;
    at = end;
    if (at == length) break;
    if (text[at] != ':' || at + 1 == length) return false;
    at += 1;
    if (text[at] == ':') {
      if (gap >= 0) return false;
      gap = count;
      at += 1;
    }
  }
  // "::" stands for at least one group.
  if (gap < 0 ? count != 8 : count > 7) return false;
  uint16_t full[8] = {};
  const int zeros = 8 - count;
  for (int i = 0; i < count; ++i) full[gap >= 0 && i >= gap ? i + zeros : i] = groups[i];
  for (int i = 0; i < 8; ++i) {
    out[2 * i] = static_cast<uint8_t>(full[i] >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(full[i]);
  }
  return true;
}

bool IsLinkLocal(const uint8_t bytes[16]) { return bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80; }

// What a host text is: an address written out, a name for the system to look
// up, or neither (said in `error`).
enum class HostText : uint8_t { Literal, Name, Bad };

HostText ReadHostText(const char* host, NetAddress& out, char* error, size_t errorSize) {
  const size_t length = std::strlen(host);
  out = NetAddress{};
  if (std::strchr(host, ':') != nullptr) {
    // Only an IPv6 address has colons; the scope after '%' is the
    // interface's number, as the system lists it.
    const char* percent = std::strchr(host, '%');
    const size_t addressLength = percent != nullptr ? static_cast<size_t>(percent - host) : length;
    if (!ReadIpv6(host, addressLength, out.bytes)) {
      std::snprintf(error, errorSize, "%s is not an IPv6 address (with a port: [ADDRESS]:PORT)", host);
      return HostText::Bad;
    }
    if (percent != nullptr) {
      if (IsIpv4(out) || !ReadDecimal(percent + 1, std::strlen(percent + 1), 0xFFFFFFFFu, out.scope)) {
        std::snprintf(error, errorSize, "%s: the interface after %% must be its number, as in fe80::1%%2", host);
        return HostText::Bad;
      }
    } else if (IsLinkLocal(out.bytes)) {
      std::snprintf(error, errorSize, "%s is a link-local address: add its interface's number, as in fe80::1%%2",
                    host);
      return HostText::Bad;
    }
    return HostText::Literal;
  }
  bool onlyDigitsAndDots = true;
  bool nameCharacters = length > 0 && length < NET_HOST_TEXT;
  for (const char* c = host; *c != '\0'; ++c) {
    if (!IsDigit(*c) && *c != '.') onlyDigitsAndDots = false;
    const bool letter = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z');
    if (!letter && !IsDigit(*c) && *c != '-' && *c != '.' && *c != '_') nameCharacters = false;
  }
  if (onlyDigitsAndDots) {
    if (ReadIpv4(host, length, out.bytes + 12)) {
      std::memcpy(out.bytes, MAPPED, sizeof MAPPED);
      return HostText::Literal;
    }
    std::snprintf(error, errorSize, "%s is not an IPv4 address (four numbers 0 to 255: 192.0.2.7)", host);
    return HostText::Bad;
  }
  if (!nameCharacters) {
    std::snprintf(error, errorSize, "\"%s\" is neither an address nor a host name", host);
    return HostText::Bad;
  }
  return HostText::Name;
}

void Trim(const char*& begin, const char*& end) {
  while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
  while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) --end;
}

}  // namespace

void FormatAddress(const NetAddress& a, bool withPort, char* text, size_t size) {
  char host[NET_ADDRESS_TEXT];
  const bool v4 = IsIpv4(a);
  if (v4) {
    std::snprintf(host, sizeof host, "%u.%u.%u.%u", a.bytes[12], a.bytes[13], a.bytes[14], a.bytes[15]);
  } else {
    // The shortest form: the longest run of two or more zero groups (the
    // first of equals) written as "::", hex in lower case.
    uint16_t groups[8];
    for (int i = 0; i < 8; ++i) groups[i] = static_cast<uint16_t>(a.bytes[2 * i] << 8 | a.bytes[2 * i + 1]);
    int runStart = -1, runLength = 1;
    for (int i = 0; i < 8;) {
      int j = i;
      while (j < 8 && groups[j] == 0) ++j;
      if (j - i > runLength) {
        runStart = i;
        runLength = j - i;
      }
      i = j > i ? j : i + 1;
    }
    size_t n = 0;
    for (int i = 0; i < 8; ++i) {
      if (i == runStart) {
        n += static_cast<size_t>(std::snprintf(host + n, sizeof host - n, "::"));
        i += runLength - 1;
        continue;
      }
      const bool colon = i > 0 && i != runStart + runLength;
      n += static_cast<size_t>(std::snprintf(host + n, sizeof host - n, colon ? ":%x" : "%x", groups[i]));
    }
    if (a.scope != 0) std::snprintf(host + n, sizeof host - n, "%%%u", static_cast<unsigned>(a.scope));
  }
  if (!withPort) {
    std::snprintf(text, size, "%s", host);
  } else {
    std::snprintf(text, size, v4 ? "%s:%u" : "[%s]:%u", host, static_cast<unsigned>(a.port));
  }
}

void FormatPeerAddress(const NetAddress& a, char* text, size_t size) { FormatAddress(a, !IsIpv4(a), text, size); }

bool SplitHostAndPort(const char* text, char* host, uint16_t& port, bool& portGiven, char* error, size_t errorSize) {
  const char* begin = text != nullptr ? text : "";
  const char* end = begin + std::strlen(begin);
  Trim(begin, end);
  const char* hostBegin = begin;
  const char* hostEnd = end;
  const char* portText = nullptr;
  if (begin < end && *begin == '[') {
    // [IPv6] or [IPv6]:PORT.
    hostBegin = begin + 1;
    hostEnd = static_cast<const char*>(std::memchr(hostBegin, ']', static_cast<size_t>(end - hostBegin)));
    if (hostEnd == nullptr || (hostEnd + 1 < end && hostEnd[1] != ':')) {
      std::snprintf(error, errorSize, "an address in brackets is written [ADDRESS] or [ADDRESS]:PORT");
      return false;
    }
    if (hostEnd + 1 < end) portText = hostEnd + 2;
  } else {
    // One colon parts a port off; more make an IPv6 address without one.
    const char* colon = static_cast<const char*>(std::memchr(begin, ':', static_cast<size_t>(end - begin)));
    if (colon != nullptr && std::memchr(colon + 1, ':', static_cast<size_t>(end - colon - 1)) == nullptr) {
      hostEnd = colon;
      portText = colon + 1;
    }
  }
  const size_t hostLength = static_cast<size_t>(hostEnd - hostBegin);
  if (hostLength == 0) {
    std::snprintf(error, errorSize, "no host given");
    return false;
  }
  if (hostLength >= NET_HOST_TEXT) {
    std::snprintf(error, errorSize, "the host's name is longer than %u characters",
                  static_cast<unsigned>(NET_HOST_TEXT - 1));
    return false;
  }
  char name[NET_HOST_TEXT];
  std::memcpy(name, hostBegin, hostLength);
  name[hostLength] = '\0';
  uint32_t p = 0;
  if (portText != nullptr && (!ReadDecimal(portText, static_cast<size_t>(end - portText), 65535, p) || p == 0)) {
    std::snprintf(error, errorSize, "the port must be a number from 1 to 65535");
    return false;
  }
  NetAddress literal;
  if (ReadHostText(name, literal, error, errorSize) == HostText::Bad) return false;
  if (*begin == '[' && std::strchr(name, ':') == nullptr) {
    std::snprintf(error, errorSize, "brackets hold an IPv6 address, not %s", name);
    return false;
  }
  std::memcpy(host, name, hostLength + 1);
  portGiven = portText != nullptr;
  if (portGiven) port = static_cast<uint16_t>(p);
  return true;
}

int32_t FirstOfEachFamily(NetAddress* list, int32_t count) {
  int32_t front = 0;
  for (int family = 0; family < 2; ++family) {
    const bool ipv4 = family == 1;  // IPv6 first
    int32_t i = front;
    while (i < count && IsIpv4(list[i]) != ipv4) ++i;
    if (i == count) continue;
    const NetAddress first = list[i];
    for (; i > front; --i) list[i] = list[i - 1];
    list[front++] = first;
  }
  return front;
}

int32_t ResolveHostAll(const char* host, uint16_t port, NetAddress found[NET_NAME_ADDRESSES], int32_t& firsts,
                       char* error, size_t errorSize) {
  firsts = 0;
  NetAddress literal;
  const HostText kind = ReadHostText(host, literal, error, errorSize);
  if (kind == HostText::Bad) return 0;
  int32_t count = 1;
  if (kind == HostText::Literal) {
    found[0] = literal;
  } else {
    count = LookUpHostName(host, found, NET_NAME_ADDRESSES, error, errorSize);
    if (count == 0) return 0;
  }
  for (int32_t i = 0; i < count; ++i) found[i].port = port;
  firsts = FirstOfEachFamily(found, count);
  return count;
}

int32_t ResolveHost(const char* host, uint16_t port, NetAddress found[NET_HOST_ADDRESSES], char* error,
                    size_t errorSize) {
  NetAddress all[NET_NAME_ADDRESSES];
  int32_t firsts = 0;
  ResolveHostAll(host, port, all, firsts, error, errorSize);
  for (int32_t i = 0; i < firsts; ++i) found[i] = all[i];
  return firsts;
}
