// The keyed hash, SipHash-2-4: a 64-bit value of a message under a 128-bit
// secret key whose outputs do not give the key away, so that neither a
// session's path proofs nor the lobby's cookies, codes and rate sketch's
// cells can be foreseen or forged. Platform-free; nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>

// The key's two words are its 16 bytes read little-endian (bytes 0 to 7, then
// 8 to 15), as the published test vectors give them.
uint64_t SipHash24(const uint64_t key[2], const uint8_t* data, size_t size);

// Three words, each as 8 little-endian bytes: a 24-byte message.
uint64_t KeyedHash(const uint64_t key[2], uint64_t a, uint64_t b, uint64_t c);
