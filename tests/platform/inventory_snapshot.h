// Test-only: what a parse left in the inventory and the memory-device map, as comparable values.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "agent/platform/driver_channel.h"
#include "agent/platform/smbios_parser.h"
#include "smbios_builder.h"

namespace vigil::test {

struct ProbeValue {
  uint16_t handle;
  uint8_t locationAndStatus;
  std::string description;
  bool operator==(const ProbeValue&) const = default;
};

struct InventorySnapshot {
  std::string productName;
  Uuid systemUuid;
  std::vector<ProbeValue> voltageProbes;
  std::vector<ProbeValue> temperatureProbes;
  std::vector<std::pair<uint16_t, uint32_t>> coolingDevices;
  std::map<uint16_t, std::string> memoryDevices;
  bool operator==(const InventorySnapshot&) const = default;
};

// Parses `buffer` (8192 bytes) into the globals and takes their snapshot.
InventorySnapshot ParseAndSnapshot(const std::vector<uint8_t>& buffer);
InventorySnapshot Snapshot();

}  // namespace vigil::test
