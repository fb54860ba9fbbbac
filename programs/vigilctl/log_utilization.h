// How full the BIOS event log is, as the agent judges it after each completed poll: the read
// position it stored in the registry against the log data area the SMBIOS table describes.
// The block does not hold the figure; clients work it out from the same two facts.
#pragma once

#include <cstdint>

namespace vigilctl {

// The data area size of the log the agent follows in the 8192-byte SMBIOS table buffer (a later
// usable type-15 structure wins, as in the agent), or 0 when it has none. Bounded; no OS calls.
uint16_t EventLogDataSizeFromTable(const uint8_t* buffer);

// The agent's utilization in per cent for a log of `dataSize` bytes (not 0), from the position
// the agent saved; false when the registry holds none (no completed poll yet) or cannot be read.
bool ReadLogUtilization(uint16_t dataSize, int32_t* percent);

}  // namespace vigilctl
