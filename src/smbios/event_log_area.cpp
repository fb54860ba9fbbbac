#include "smbios/event_log_area.h"

#include <cstring>

#include "contract/le_bytes.h"
#include "contract/smbios_types.h"

namespace vigil::smbios {

bool FollowableLogDataSize(const uint8_t* structure, std::size_t length, uint16_t* dataSize) {
  // Every field read lies in the 2.0 formatted area.
  uint8_t s[kEventLogMinLength] = {};
  if (structure != nullptr) std::memcpy(s, structure, length < sizeof s ? length : sizeof s);
  const uint32_t areaLength = le::Load16(s + kEventLogAreaLengthField);
  const uint32_t dataStart = le::Load16(s + kEventLogDataStartField);
  const uint8_t method = s[kEventLogAccessMethodField];
  const uint32_t address = le::Load32(s + kEventLogAccessAddressField);
  if (method == kEventLogAccessMemoryMapped32 && address != 0 && areaLength > dataStart + kMappedLogHeaderSize) {
    *dataSize = uint16_t(areaLength - dataStart);
    return true;
  }
  if (method == kEventLogAccessGeneralPurpose) {
    *dataSize = uint16_t(areaLength);
    return true;
  }
  return false;
}

}  // namespace vigil::smbios
