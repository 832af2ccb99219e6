// The datagrams' bytes: a cursor that writes or reads little-endian fields
// within a fixed buffer, and the layout of each kind.
#include "net/net_wire.h"

#include <cstring>

namespace {

const uint8_t MAGIC[4] = {'B', 'T', 'n', 'w'};
constexpr size_t HEADER_BYTES = 8;

struct Writer {
  uint8_t* out;
  size_t capacity;
  size_t n;
  bool full;
  void Bytes(const void* p, size_t k) {
    if (full || capacity - n < k) {
      full = true;
      return;
    }
    std::memcpy(out + n, p, k);
    n += k;
  }
  void U8(uint8_t v) { Bytes(&v, 1); }
  void U16(uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    Bytes(b, 2);
  }
  void U32(uint32_t v) {
    const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                          static_cast<uint8_t>(v >> 24)};
    Bytes(b, 4);
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
  }
};

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t n;
  bool shortRead;
  bool Take(void* p, size_t k) {
    if (shortRead || size - n < k) {
      shortRead = true;
      std::memset(p, 0, k);
      return false;
    }
    std::memcpy(p, data + n, k);
    n += k;
    return true;
  }
  uint8_t U8() {
    uint8_t v;
    Take(&v, 1);
    return v;
  }
  uint16_t U16() {
    uint8_t b[2];
    Take(b, 2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
  }
  uint32_t U32() {
    uint8_t b[4];
    Take(b, 4);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
  }
  uint64_t U64() {
    const uint64_t low = U32();
    return low | static_cast<uint64_t>(U32()) << 32;
  }
};

void WriteVersion(Writer& w, const char* version) {
  uint8_t field[NET_VERSION_BYTES] = {};
  for (size_t i = 0; i < NET_VERSION_BYTES && version[i] != '\0'; ++i) field[i] = static_cast<uint8_t>(version[i]);
  w.Bytes(field, sizeof field);
}

// Printable ASCII, then only NULs; at least one character.
bool ReadVersion(Reader& r, char (&version)[NET_VERSION_BYTES + 1]) {
  uint8_t field[NET_VERSION_BYTES];
  r.Take(field, sizeof field);
  bool ended = false;
  for (size_t i = 0; i < NET_VERSION_BYTES; ++i) {
    const uint8_t c = field[i];
    if (c == 0) {
      ended = true;
    } else if (ended || c < 0x20 || c > 0x7E) {
      return false;
    }
    version[i] = static_cast<char>(c);
  }
  version[NET_VERSION_BYTES] = '\0';
  return field[0] != 0;
}

size_t InputBytes(const NetInput& in) {
  return 2 + (in.events & NET_EVENT_START ? 12 : 0) + (in.events & NET_EVENT_SHADOW0 ? 1 : 0) +
         (in.events & NET_EVENT_SHADOW1 ? 1 : 0);
}

void WriteInput(Writer& w, const NetInput& in) {
  w.U8(static_cast<uint8_t>(in.action));
  w.U8(in.events);
  if (in.events & NET_EVENT_START) {
    w.U32(in.generator.seed[0]);
    w.U32(in.generator.seed[1]);
    w.U32(in.generator.state);
  }
  if (in.events & NET_EVENT_SHADOW0) w.U8(in.shadow[0]);
  if (in.events & NET_EVENT_SHADOW1) w.U8(in.shadow[1]);
}

bool ReadInput(Reader& r, NetInput& in) {
  in = NetInput{};
  const uint8_t action = r.U8();
  in.events = r.U8();
  // The engine's actions only: ApplyAction would take an unknown value as
  // none, but a recording would keep it as a number. Refuse it here.
  if (action > static_cast<uint8_t>(Action::NoAction) || (in.events & ~NET_EVENTS_KNOWN) != 0) return false;
  in.action = static_cast<Action>(action);
  if (in.events & NET_EVENT_START) {
    in.generator.seed[0] = r.U32();
    in.generator.seed[1] = r.U32();
    in.generator.state = r.U32();
  }
  if (in.events & NET_EVENT_SHADOW0) in.shadow[0] = r.U8();
  if (in.events & NET_EVENT_SHADOW1) in.shadow[1] = r.U8();
  return true;
}

}  // namespace

size_t WriteDatagram(NetDatagram& d, uint8_t* out, size_t capacity) {
  Writer w{out, capacity < NET_MAX_DATAGRAM ? capacity : NET_MAX_DATAGRAM, 0, false};
  w.Bytes(MAGIC, sizeof MAGIC);
  w.U16(d.format);
  w.U8(static_cast<uint8_t>(d.kind));
  w.U8(0);
  switch (d.kind) {
    case NetKind::Join:
      WriteVersion(w, d.version);
      w.U32(d.nonce);
      w.U32(d.time);
      w.U8(d.delay);
      w.U64(d.secret);
      break;
    case NetKind::Welcome:
      WriteVersion(w, d.version);
      w.U32(d.nonce);
      w.U32(d.session);
      w.U32(d.time);
      w.U32(d.echo);
      w.U8(d.delay);
      w.U64(d.secret);
      break;
    case NetKind::Refuse:
      WriteVersion(w, d.version);
      w.U32(d.nonce);
      w.U8(static_cast<uint8_t>(d.reason));
      break;
    case NetKind::Play: {
      w.U32(d.session);
      w.U32(d.time);
      w.U32(d.echo);
      w.U16(d.held);
      w.U8(d.delay);
      w.U32(d.frame);
      w.U16(static_cast<uint16_t>(d.advantage));
      w.U32(d.ack);
      w.U32(d.digestFrame);
      w.U64(d.digest);
      w.U32(d.firstFrame);
      // As many inputs as fit: the oldest are the ones the peer needs first.
      int32_t fit = 0;
      size_t room = w.full ? 0 : w.capacity - w.n - 1;
      while (fit < d.count && fit < NET_MAX_INPUTS && InputBytes(d.inputs[fit]) <= room) {
        room -= InputBytes(d.inputs[fit]);
        fit += 1;
      }
      d.count = fit;
      w.U8(static_cast<uint8_t>(fit));
      for (int32_t i = 0; i < fit; ++i) WriteInput(w, d.inputs[i]);
      break;
    }
    case NetKind::Bye:
      w.U32(d.session);
      w.U8(static_cast<uint8_t>(d.reason));
      w.U32(d.frame);
      w.U32(d.digestFrame);
      w.U64(d.digest);
      break;
    case NetKind::Check:  // as long as its Proof: a forged Check gains no bytes
    case NetKind::Proof:
      w.U32(d.session);
      w.U64(d.challenge);
      w.U64(d.kind == NetKind::Proof ? d.tag : 0);
      break;
    default:
      return 0;
  }
  return w.full ? 0 : w.n;
}

bool IsNetDatagram(const uint8_t* data, size_t size) {
  return size >= sizeof MAGIC && std::memcmp(data, MAGIC, sizeof MAGIC) == 0;
}

NetReadResult ReadDatagram(const uint8_t* data, size_t size, NetDatagram& d) {
  if (size < HEADER_BYTES || size > NET_MAX_DATAGRAM) return NetReadResult::Length;
  if (std::memcmp(data, MAGIC, sizeof MAGIC) != 0) return NetReadResult::Magic;
  Reader r{data, size, sizeof MAGIC, false};
  d.format = r.U16();
  const uint8_t kind = r.U8();
  const uint8_t reserved = r.U8();
  d.kind = static_cast<NetKind>(kind);
  d.count = 0;
  const bool greeting = kind == 1 || kind == 2 || kind == 3;
  if (d.format != NET_FORMAT) {
    // Only the fields every format keeps: enough to name the other version.
    d.version[0] = '\0';
    if (!greeting) return NetReadResult::OtherFormat;
    if (!ReadVersion(r, d.version)) return NetReadResult::Field;
    d.nonce = r.U32();
    return r.shortRead ? NetReadResult::Length : NetReadResult::OtherFormat;
  }
  if (reserved != 0 || kind < 1 || kind > 7) return NetReadResult::Kind;
  bool fieldsOk = true;
  switch (d.kind) {
    case NetKind::Join:
      fieldsOk = ReadVersion(r, d.version);
      d.nonce = r.U32();
      d.time = r.U32();
      d.delay = r.U8();
      d.secret = r.U64();
      fieldsOk = fieldsOk && d.delay <= NET_MAX_DELAY;
      break;
    case NetKind::Welcome:
      fieldsOk = ReadVersion(r, d.version);
      d.nonce = r.U32();
      d.session = r.U32();
      d.time = r.U32();
      d.echo = r.U32();
      d.delay = r.U8();
      d.secret = r.U64();
      fieldsOk = fieldsOk && d.delay <= NET_MAX_DELAY;
      break;
    case NetKind::Refuse: {
      fieldsOk = ReadVersion(r, d.version);
      d.nonce = r.U32();
      const uint8_t reason = r.U8();
      d.reason = static_cast<NetReason>(reason);
      fieldsOk = fieldsOk && (d.reason == NetReason::Busy || d.reason == NetReason::Format);
      break;
    }
    case NetKind::Play: {
      d.session = r.U32();
      d.time = r.U32();
      d.echo = r.U32();
      d.held = r.U16();
      d.delay = r.U8();
      d.frame = r.U32();
      d.advantage = static_cast<int16_t>(r.U16());
      d.ack = r.U32();
      d.digestFrame = r.U32();
      d.digest = r.U64();
      d.firstFrame = r.U32();
      const uint8_t count = r.U8();
      fieldsOk = d.delay >= 1 && d.delay <= NET_MAX_DELAY && count <= NET_MAX_INPUTS &&
                 d.firstFrame <= UINT32_MAX - count && d.frame < UINT32_MAX / 2;
      for (uint8_t i = 0; fieldsOk && i < count && !r.shortRead; ++i) {
        fieldsOk = ReadInput(r, d.inputs[i]);
        d.count = i + 1;
      }
      break;
    }
    case NetKind::Bye: {
      d.session = r.U32();
      const uint8_t reason = r.U8();
      d.reason = static_cast<NetReason>(reason);
      d.frame = r.U32();
      d.digestFrame = r.U32();
      d.digest = r.U64();
      fieldsOk = d.reason == NetReason::Left || d.reason == NetReason::Differ;
      break;
    }
    case NetKind::Check:
    case NetKind::Proof:
      d.session = r.U32();
      d.challenge = r.U64();
      d.tag = r.U64();
      fieldsOk = d.kind == NetKind::Proof || d.tag == 0;
      break;
  }
  if (r.shortRead) return NetReadResult::Length;
  if (!fieldsOk) return NetReadResult::Field;
  return r.n == size ? NetReadResult::Ok : NetReadResult::Length;
}
