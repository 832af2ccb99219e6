// SipHash-2-4 over bytes: two rounds a message word, four at the end.
#include "net/keyed_hash.h"

namespace {

uint64_t Rotl(uint64_t v, int b) { return (v << b) | (v >> (64 - b)); }

void SipRound(uint64_t v[4]) {
  v[0] += v[1]; v[1] = Rotl(v[1], 13); v[1] ^= v[0]; v[0] = Rotl(v[0], 32);
  v[2] += v[3]; v[3] = Rotl(v[3], 16); v[3] ^= v[2];
  v[0] += v[3]; v[3] = Rotl(v[3], 21); v[3] ^= v[0];
  v[2] += v[1]; v[1] = Rotl(v[1], 17); v[1] ^= v[2]; v[2] = Rotl(v[2], 32);
}

void Compress(uint64_t v[4], uint64_t m) {
  v[3] ^= m;
  SipRound(v);
  SipRound(v);
  v[0] ^= m;
}

uint64_t Word(const uint8_t* p, size_t bytes) {
  uint64_t w = 0;
  for (size_t i = 0; i < bytes; ++i) w |= static_cast<uint64_t>(p[i]) << (8 * i);
  return w;
}

}  // namespace

uint64_t SipHash24(const uint64_t key[2], const uint8_t* data, size_t size) {
  uint64_t v[4] = {key[0] ^ 0x736f6d6570736575ull, key[1] ^ 0x646f72616e646f6dull, key[0] ^ 0x6c7967656e657261ull,
                   key[1] ^ 0x7465646279746573ull};
  const size_t whole = size - size % 8;
  for (size_t i = 0; i < whole; i += 8) Compress(v, Word(data + i, 8));
  // The last word: the bytes left and the message's length in its top byte.
  Compress(v, Word(data + whole, size - whole) | static_cast<uint64_t>(size & 0xff) << 56);
  v[2] ^= 0xff;
  for (int i = 0; i < 4; ++i) SipRound(v);
  return v[0] ^ v[1] ^ v[2] ^ v[3];
}

uint64_t KeyedHash(const uint64_t key[2], uint64_t a, uint64_t b, uint64_t c) {
  uint8_t bytes[24];
  const uint64_t words[3] = {a, b, c};
  for (int w = 0; w < 3; ++w)
    for (int i = 0; i < 8; ++i) bytes[w * 8 + i] = static_cast<uint8_t>(words[w] >> (8 * i));
  return SipHash24(key, bytes, sizeof bytes);
}
