// The lobby datagrams' bytes: little-endian fields at fixed offsets, each
// kind one exact length.
#include "lobby/lobby_wire.h"

#include <cstring>

namespace {

const uint8_t MAGIC[4] = {'B', 'T', 'l', 'b'};
constexpr size_t HEADER_BYTES = 8;
constexpr size_t REFRESH_PADDING = 99;
constexpr size_t JOIN_PADDING = 56;
const char ALPHABET[] = "23456789ABCDEFGHJKMNPQRSTUVWXYZ";
constexpr uint32_t ALPHABET_SIZE = 31;
constexpr size_t CODE_CHARS = 8;

size_t KindLength(LobbyKind kind) {
  switch (kind) {
    case LobbyKind::Register: return 60;
    case LobbyKind::CodeGiven: return 34;
    case LobbyKind::Refresh: return 124;
    case LobbyKind::Join: return 124;
    case LobbyKind::Peers: return 124;
    case LobbyKind::Challenge: return 24;
    case LobbyKind::Error: return 26;
    case LobbyKind::Probe: return 28;
    case LobbyKind::Relayed: return LOBBY_RELAY_HEADER;  // the least; the payload follows
  }
  return 0;
}

void Put(uint8_t* out, size_t& n, uint64_t v, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out[n++] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t Get(const uint8_t* data, size_t& n, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(data[n++]) << (8 * i);
  return v;
}

void PutAddresses(uint8_t* out, size_t& n, const NetAddress* a) {
  for (int32_t i = 0; i < LOBBY_FAMILIES; ++i) {
    std::memcpy(out + n, a[i].bytes, sizeof a[i].bytes);
    n += sizeof a[i].bytes;
    Put(out, n, a[i].port, 2);
  }
}

// False for an address with a port but no number, or a number but no port;
// none (all zero) is allowed. The scope is not sent: a link-local address
// means nothing on another machine's link.
bool GetAddresses(const uint8_t* data, size_t& n, NetAddress* a) {
  bool sound = true;
  for (int32_t i = 0; i < LOBBY_FAMILIES; ++i) {
    a[i] = NetAddress{};
    std::memcpy(a[i].bytes, data + n, sizeof a[i].bytes);
    n += sizeof a[i].bytes;
    a[i].port = static_cast<uint16_t>(Get(data, n, 2));
    sound = sound && (a[i].port == 0) == IsUnspecified(a[i]);
  }
  return sound;
}

bool Zeros(const uint8_t* data, size_t& n, size_t count) {
  bool zero = true;
  for (size_t i = 0; i < count; ++i) zero = zero && data[n++] == 0;
  return zero;
}

int AlphabetIndex(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (uint32_t i = 0; i < ALPHABET_SIZE; ++i)
    if (ALPHABET[i] == c) return static_cast<int>(i);
  return -1;
}

}  // namespace

bool IsLobbyDatagram(const uint8_t* data, size_t size) {
  return size >= sizeof MAGIC && std::memcmp(data, MAGIC, sizeof MAGIC) == 0;
}

size_t WriteLobbyDatagram(const LobbyDatagram& d, uint8_t* out, size_t capacity) {
  const bool relayed = d.kind == LobbyKind::Relayed;
  if (relayed && (d.payloadSize == 0 || d.payloadSize > NET_MAX_DATAGRAM || d.payload == nullptr)) return 0;
  const size_t length = KindLength(d.kind) + (relayed ? d.payloadSize : 0);
  if (KindLength(d.kind) == 0 || capacity < length) return 0;
  size_t n = 0;
  std::memcpy(out, MAGIC, sizeof MAGIC);
  n = sizeof MAGIC;
  Put(out, n, LOBBY_FORMAT, 2);
  Put(out, n, static_cast<uint8_t>(d.kind), 1);
  Put(out, n, 0, 1);
  switch (d.kind) {
    case LobbyKind::Register:
      Put(out, n, d.cookie, 8);
      Put(out, n, d.ticket, 8);
      PutAddresses(out, n, d.privates);
      break;
    case LobbyKind::CodeGiven:
      Put(out, n, d.code, 8);
      Put(out, n, d.ticket, 8);
      Put(out, n, d.token, 8);
      Put(out, n, d.refreshS, 2);
      break;
    case LobbyKind::Refresh:
      Put(out, n, d.code, 8);
      Put(out, n, d.ticket, 8);
      Put(out, n, d.path, 1);
      std::memset(out + n, 0, REFRESH_PADDING);
      n += REFRESH_PADDING;
      break;
    case LobbyKind::Join:
      Put(out, n, d.cookie, 8);
      Put(out, n, d.code, 8);
      Put(out, n, d.ticket, 8);
      PutAddresses(out, n, d.privates);
      std::memset(out + n, 0, JOIN_PADDING);
      n += JOIN_PADDING;
      break;
    case LobbyKind::Peers:
      Put(out, n, d.code, 8);
      Put(out, n, d.ticket, 8);
      Put(out, n, d.token, 8);
      Put(out, n, d.role, 1);
      Put(out, n, 0, 1);
      PutAddresses(out, n, d.publics);
      PutAddresses(out, n, d.privates);
      std::memcpy(out + n, d.relay.bytes, sizeof d.relay.bytes);
      n += sizeof d.relay.bytes;
      Put(out, n, d.relay.port, 2);
      break;
    case LobbyKind::Challenge:
      Put(out, n, d.cookie, 8);
      Put(out, n, d.ticket, 8);
      break;
    case LobbyKind::Error:
      Put(out, n, static_cast<uint8_t>(d.reason), 1);
      Put(out, n, 0, 1);
      Put(out, n, d.code, 8);
      Put(out, n, d.ticket, 8);
      break;
    case LobbyKind::Probe:
      Put(out, n, d.token, 8);
      Put(out, n, d.nonce, 8);
      Put(out, n, d.role, 1);
      Put(out, n, d.answer, 1);
      Put(out, n, 0, 2);
      break;
    case LobbyKind::Relayed:
      Put(out, n, d.token, 8);
      std::memcpy(out + n, d.payload, d.payloadSize);
      n += d.payloadSize;
      break;
  }
  return n;
}

LobbyReadResult ReadLobbyDatagram(const uint8_t* data, size_t size, LobbyDatagram& d) {
  d = LobbyDatagram{};
  if (size > LOBBY_MAX_RELAYED) return LobbyReadResult::Length;
  if (size < HEADER_BYTES) return IsLobbyDatagram(data, size) ? LobbyReadResult::Length : LobbyReadResult::Magic;
  if (!IsLobbyDatagram(data, size)) return LobbyReadResult::Magic;
  size_t n = sizeof MAGIC;
  d.format = static_cast<uint16_t>(Get(data, n, 2));
  if (d.format != LOBBY_FORMAT) return LobbyReadResult::Format;
  d.kind = static_cast<LobbyKind>(Get(data, n, 1));
  const size_t length = KindLength(d.kind);
  if (length == 0 || Get(data, n, 1) != 0) return LobbyReadResult::Kind;
  if (d.kind == LobbyKind::Relayed ? size <= length || size > LOBBY_MAX_RELAYED : size != length)
    return LobbyReadResult::Length;
  bool zero = true;  // every padding byte
  bool ticket = true, token = false;  // the kind names the asker; the room
  switch (d.kind) {
    case LobbyKind::Register:
      d.cookie = Get(data, n, 8);
      d.ticket = Get(data, n, 8);
      if (!GetAddresses(data, n, d.privates)) return LobbyReadResult::Field;
      break;
    case LobbyKind::CodeGiven:
      d.code = Get(data, n, 8);
      d.ticket = Get(data, n, 8);
      d.token = Get(data, n, 8);
      d.refreshS = static_cast<uint16_t>(Get(data, n, 2));
      token = true;
      if (d.refreshS == 0) return LobbyReadResult::Field;
      break;
    case LobbyKind::Refresh:
      d.code = Get(data, n, 8);
      d.ticket = Get(data, n, 8);
      d.path = static_cast<uint8_t>(Get(data, n, 1));
      zero = Zeros(data, n, REFRESH_PADDING);
      if (d.path > 2) return LobbyReadResult::Field;
      break;
    case LobbyKind::Join:
      d.cookie = Get(data, n, 8);
      d.code = Get(data, n, 8);
      d.ticket = Get(data, n, 8);
      if (!GetAddresses(data, n, d.privates)) return LobbyReadResult::Field;
      zero = Zeros(data, n, JOIN_PADDING);
      break;
    case LobbyKind::Peers:
      d.code = Get(data, n, 8);
      d.ticket = Get(data, n, 8);
      d.token = Get(data, n, 8);
      token = true;
      d.role = static_cast<uint8_t>(Get(data, n, 1));
      zero = Get(data, n, 1) == 0;
      if (!GetAddresses(data, n, d.publics) || !GetAddresses(data, n, d.privates)) return LobbyReadResult::Field;
      std::memcpy(d.relay.bytes, data + n, sizeof d.relay.bytes);
      n += sizeof d.relay.bytes;
      d.relay.port = static_cast<uint16_t>(Get(data, n, 2));
      if ((d.relay.port == 0) != IsUnspecified(d.relay)) return LobbyReadResult::Field;
      if (d.role > 1 || d.publics[0].port == 0) return LobbyReadResult::Field;
      break;
    case LobbyKind::Challenge:
      d.cookie = Get(data, n, 8);
      d.ticket = Get(data, n, 8);
      break;
    case LobbyKind::Error: {
      const uint8_t reason = static_cast<uint8_t>(Get(data, n, 1));
      zero = Get(data, n, 1) == 0;
      d.code = Get(data, n, 8);
      d.ticket = Get(data, n, 8);
      if (reason < 1 || reason > 6) return LobbyReadResult::Field;
      d.reason = static_cast<LobbyError>(reason);
      break;
    }
    case LobbyKind::Probe:
      d.token = Get(data, n, 8);
      d.nonce = Get(data, n, 8);
      d.role = static_cast<uint8_t>(Get(data, n, 1));
      d.answer = static_cast<uint8_t>(Get(data, n, 1));
      zero = Get(data, n, 2) == 0;
      ticket = false;
      token = true;
      if (d.role > 1 || d.answer > 1 || d.nonce == 0) return LobbyReadResult::Field;
      break;
    case LobbyKind::Relayed:
      d.token = Get(data, n, 8);
      d.payload = data + n;
      d.payloadSize = size - n;
      ticket = false;
      token = true;
      break;
  }
  if (!zero || d.code >= LOBBY_CODE_COUNT) return LobbyReadResult::Field;
  if ((ticket && d.ticket == 0) || (token && d.token == 0)) return LobbyReadResult::Field;
  return LobbyReadResult::Ok;
}

void FormatLobbyCode(uint64_t code, char* text) {
  code %= LOBBY_CODE_COUNT;
  char digits[CODE_CHARS];
  for (size_t i = CODE_CHARS; i-- > 0;) {
    digits[i] = ALPHABET[code % ALPHABET_SIZE];
    code /= ALPHABET_SIZE;
  }
  std::memcpy(text, digits, 4);
  text[4] = '-';
  std::memcpy(text + 5, digits + 4, 4);
  text[9] = '\0';
}

bool ParseLobbyCode(const char* text, uint64_t& code) {
  uint64_t value = 0;
  size_t chars = 0;
  for (size_t i = 0; text[i] != '\0'; ++i) {
    if ((text[i] == '-' || text[i] == ' ') && chars == 4 && i == 4) continue;  // a space, as read aloud
    const int digit = AlphabetIndex(text[i]);
    if (digit < 0 || chars == CODE_CHARS) return false;
    value = value * ALPHABET_SIZE + static_cast<uint64_t>(digit);
    ++chars;
  }
  if (chars != CODE_CHARS) return false;
  code = value;
  return true;
}
