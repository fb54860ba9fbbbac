// SMBIOS structures as the host holds them before the core lays them out: from a scenario's
// "structures" list or from a raw structure table file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/smbios_builder.h"

namespace hwsim {

struct OwnedStructure {
  uint8_t type = 0;
  uint16_t handle = 0;
  std::vector<uint8_t> formatted;  // after the 4-byte header
  std::vector<std::string> strings;
  uint8_t stringTable = 1;         // strings-apart layout only
};

// Builds the core's table from the list (see BuildSmbiosTable).
BuildResult BuildTable(Core& core, Layout layout, const std::vector<OwnedStructure>& list,
                       uint32_t* failedIndex);

// Splits raw structure table bytes (standard layout, as /sys/firmware/dmi/tables/DMI holds
// them) into structures, up to and including type 127 or the end of the bytes. Strings go to
// the two string tables in turn. False with the byte offset and reason in *error.
bool ParseRawTable(const std::vector<uint8_t>& bytes, std::vector<OwnedStructure>* list,
                   std::string* error);

}  // namespace hwsim
