#include "inventory_snapshot.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace vigil::test {

namespace {

std::vector<ProbeValue> Probes(const ProbeRecord* records, uint32_t count) {
  std::vector<ProbeValue> probes;
  for (uint32_t i = 0; i < count && i < kMaxProbes; ++i) {
    probes.push_back({records[i].handle, records[i].locationAndStatus,
                      std::string(records[i].description, strnlen(records[i].description, kInventoryTextSize))});
  }
  return probes;
}

}  // namespace

InventorySnapshot Snapshot() {
  InventorySnapshot s;
  s.productName.assign(gInventory.productName, strnlen(gInventory.productName, kInventoryTextSize));
  std::memcpy(s.systemUuid.data(), gInventory.systemUuid, s.systemUuid.size());
  s.voltageProbes = Probes(gInventory.voltageProbes, gInventory.voltageProbeCount);
  s.temperatureProbes = Probes(gInventory.temperatureProbes, gInventory.temperatureProbeCount);
  for (uint32_t i = 0; i < gInventory.coolingDeviceCount && i < kMaxCoolingDevices; ++i) {
    s.coolingDevices.emplace_back(gInventory.coolingDevices[i].handle, gInventory.coolingDevices[i].oemDefined);
  }
  s.memoryDevices = gMemoryDeviceMap;
  return s;
}

InventorySnapshot ParseAndSnapshot(const std::vector<uint8_t>& buffer) {
  // A heap block of exactly the buffer size, so a read past its end is caught by ASan.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[kSmbiosTableSize]());
  std::memcpy(exact.get(), buffer.data(), std::min<std::size_t>(buffer.size(), kSmbiosTableSize));
  ParseSmbiosTable(exact.get());
  return Snapshot();
}

}  // namespace vigil::test
