// Byte helpers for the answering side of the device channel and the simulated platform. Both
// are compiled into a kernel-mode driver as well, so they cannot lean on the C library: these
// few loops stand in for memcpy and friends.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hwgate {

inline void CopyBytes(uint8_t* to, const uint8_t* from, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) to[i] = from[i];
}

inline void FillBytes(uint8_t* to, uint8_t value, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) to[i] = value;
}

// Length of a NUL-terminated text, looking at no more than `limit` bytes.
inline uint32_t TextLength(const char* text, uint32_t limit) {
  uint32_t n = 0;
  while (n < limit && text[n] != '\0') ++n;
  return n;
}

}  // namespace hwgate
