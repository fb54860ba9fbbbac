// Builds the 8192-byte SMBIOS table buffer the agent reads, in either layout, from a list of
// structures, and indexes the probes, cooling devices and event log geometry it describes.
#pragma once

#include <cstdint>

#include "core/core.h"

namespace hwsim {

struct StructureDef {
  uint8_t type;
  uint16_t handle;
  const uint8_t* formatted;  // the formatted area after the 4-byte header
  uint32_t formattedLength;  // at most 251, so that the length byte holds header + area
  const char* const* strings;
  uint32_t stringCount;      // strings must be non-empty: an empty one would end the set
  uint8_t stringTable;       // strings-apart layout: 1 = first string table, 2 = second
};

enum class BuildResult {
  kOk,
  kTooLarge,          // the data area cannot hold the table
  kFormattedTooLong,  // formattedLength above 251
  kEmptyString,
  kBadStringTable,    // stringTable not 1 or 2 in the strings-apart layout
  kTooManySensors,    // more than kMaxSensors probes and cooling devices
};

// Replaces the table, the sensor slots (readings taken from each structure's own status byte
// and nominal value) and the log capacity. The log records and faults stay. On failure the
// core holds an empty table (layout kind 0, no sensors) and `*failedIndex` names the
// structure at fault (count when the whole table is too large).
BuildResult BuildSmbiosTable(Core& core, Layout layout, const StructureDef* defs, uint32_t count,
                             uint32_t* failedIndex);

const char* DescribeBuildResult(BuildResult result);

}  // namespace hwsim
