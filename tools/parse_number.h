// The number arguments of the native tools' command lines.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdlib>

// A decimal number from 0 to max, the whole text (no sign, no space before
// it); false for anything else, and value then untouched.
inline bool ParseNumber(const char* text, uint64_t max, uint64_t& value) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || v > max) return false;
  value = v;
  return true;
}
