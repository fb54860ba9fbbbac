// Byte helpers for the simulation core. The core is compiled into a kernel-mode driver as
// well, so it cannot lean on the C library: these few loops stand in for memcpy and friends.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hwsim {

inline void CopyBytes(uint8_t* to, const uint8_t* from, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) to[i] = from[i];
}

inline void FillBytes(uint8_t* to, uint8_t value, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) to[i] = value;
}

inline uint16_t LoadU16(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

inline uint32_t LoadU32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

inline void StoreU16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

inline void StoreU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Length of a NUL-terminated text, looking at no more than `limit` bytes.
inline uint32_t TextLength(const char* text, uint32_t limit) {
  uint32_t n = 0;
  while (n < limit && text[n] != '\0') ++n;
  return n;
}

}  // namespace hwsim
