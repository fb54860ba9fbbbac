// The BIOS event log a type-15 (System Event Log) structure describes, as far as the agent
// can follow it: the agent's reader and vigilctl's utilization figure size the log alike.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vigil::smbios {

// The log header that precedes the data area in a memory-mapped log.
constexpr uint32_t kMappedLogHeaderSize = 16;

// Reads the first `length` bytes of the structure's formatted area (fields beyond them read as
// zero). True when the log is one the agent follows (memory-mapped with an address and room
// past its header, or general-purpose non-volatile data), with its data area size in *dataSize;
// false, *dataSize untouched, otherwise. Bounded; no OS calls.
bool FollowableLogDataSize(const uint8_t* structure, std::size_t length, uint16_t* dataSize);

// Per cent of a `dataSize`-byte log data area (not 0) that the records up to `position` fill,
// truncated towards zero.
inline int32_t LogUtilizationPercent(uint16_t position, uint16_t dataSize) {
  return int32_t(uint32_t(position) * 100u / dataSize);
}

}  // namespace vigil::smbios
