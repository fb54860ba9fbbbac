// SMBIOS structure parser and the inventory it keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "contract/driver_protocol.h"

namespace vigil {

constexpr std::size_t kMaxProbes = 32;
constexpr std::size_t kMaxCoolingDevices = 32;
constexpr std::size_t kInventoryTextSize = 32;  // 31 characters + NUL

struct ProbeRecord {
  uint16_t handle;
  uint8_t locationAndStatus;
  char description[kInventoryTextSize];
};

struct CoolingDeviceRecord {
  uint16_t handle;
  uint32_t oemDefined;
};

struct Inventory {
  char productName[kInventoryTextSize];
  uint8_t systemUuid[16];
  ProbeRecord voltageProbes[kMaxProbes];
  uint32_t voltageProbeCount;
  ProbeRecord temperatureProbes[kMaxProbes];
  uint32_t temperatureProbeCount;
  CoolingDeviceRecord coolingDevices[kMaxCoolingDevices];
  uint32_t coolingDeviceCount;
};

extern Inventory gInventory;
// Memory Device handle -> Device Locator text (at most 15 characters, longer ones cut). Only
// added to or replaced; lives for the process.
extern std::map<uint16_t, std::string> gMemoryDeviceMap;
// The SMBIOS table buffer the driver fills; strings are looked up inside it.
extern uint8_t gSmbiosTable[8192];

// Parses the 8192-byte table buffer into gInventory / gMemoryDeviceMap, handing every type-15
// structure to SetUpEventLog. Never reads outside the buffer, never loops on a bad length.
void ParseSmbiosTable(const uint8_t* buffer);

}  // namespace vigil
