// The firmware's SMBIOS table as the kernel exports it under <sysfs>/firmware/dmi/tables/.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dmi_table.h"
#include "file_reader.h"

namespace hwlinux {

struct FirmwareTable {
  EntryPoint entry;
  std::vector<uint8_t> bytes;             // the structure table as read, whole structures only
  std::vector<RawStructure> structures;   // over `bytes`
};

// Reads and splits the table. Returns 0, or -1 with a one-line *diagnosis (tables absent: not
// root or a kernel without them; unreadable; malformed). A table cut short by the firmware is
// served up to its last whole structure, with *diagnosis saying so and 0 returned.
int ReadFirmwareTable(FileReader& files, const std::string& sysfsRoot, FirmwareTable* out,
                      std::string* diagnosis);

}  // namespace hwlinux
