// Little-endian integers in byte buffers: SMBIOS structures, log records, driver frames and BMC
// answers all store them this way, whatever the host. Plain loops and shifts, no C library, so
// the kernel-mode driver can use them too. Callers check the bounds before they read.
#pragma once

#include <cstdint>

namespace vigil::le {

inline uint16_t Load16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

inline uint32_t Load32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// An unsigned field of `width` bytes (1 to 4), as SMBIOS fields of any size are read.
inline uint32_t LoadN(const uint8_t* at, unsigned width) {
  uint32_t value = 0;
  for (unsigned i = width; i-- > 0;) value = value << 8 | at[i];
  return value;
}

inline void Store16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

inline void Store32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace vigil::le
