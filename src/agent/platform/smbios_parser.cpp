#include "platform/smbios_parser.h"

#include "eventlog/event_log_reader.h"

namespace vigil {

Inventory gInventory{};
std::map<uint16_t, std::string> gMemoryDeviceMap;
uint8_t gSmbiosTable[8192];

void ParseSmbiosTable(const uint8_t* buffer) { (void)buffer; }

}  // namespace vigil
