#include "log_utilization.h"

#include <string>

#include "contract/registry_paths.h"
#include "contract/smbios_types.h"
#include "os/os.h"
#include "smbios/event_log_area.h"
#include "smbios/smbios_walk.h"

namespace vigilctl {
namespace {

void TakeLogDataSize(const vigil::smbios::TableView& table, const vigil::smbios::Structure& s,
                     const vigil::smbios::StringSet&, void* context) {
  if (s.type != vigil::smbios::kTypeSystemEventLog) return;
  vigil::smbios::FollowableLogDataSize(table.data + s.offset, s.available, static_cast<uint16_t*>(context));
}

}  // namespace

uint16_t EventLogDataSizeFromTable(const uint8_t* buffer) {
  uint16_t dataSize = 0;
  vigil::smbios::WalkSmbiosTable(buffer, TakeLogDataSize, &dataSize);
  return dataSize;
}

bool ReadLogUtilization(uint16_t dataSize, int32_t* percent) {
  if (dataSize == 0) return false;
  const std::string path = std::string(vigil::kParametersBasePath) + vigil::kEventLogParameterSubkey;
  os::RegHandle key = nullptr;
  if (os::RegOpenKey(path.c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return false;
  uint32_t type = 0;
  uint32_t offset = 0;
  uint32_t size = sizeof offset;
  const long rc = os::RegQueryValue(key, vigil::kLogOffsetValue, &type, &offset, &size);
  os::RegCloseKey(key);
  if (rc != os::kErrorSuccess || type != os::kRegDword || size != sizeof offset) return false;
  // The agent keeps the position as 16 bits and works with that.
  *percent = vigil::smbios::LogUtilizationPercent(uint16_t(offset), dataSize);
  return true;
}

}  // namespace vigilctl
