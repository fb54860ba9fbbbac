#include "agent/platform/managed_device.h"

#include <cstdio>
#include <cstring>

namespace vigil {

namespace {

bool FindProbe(const ProbeRecord* probes, uint32_t count, uint16_t handle, ManagedDeviceKind kind,
               ManagedDevice* device) {
  for (uint32_t i = 0; i < count && i < kMaxProbes; ++i) {
    if (probes[i].handle != handle) continue;
    device->kind = kind;
    // The record's description is a fixed field: copied whole and terminated here.
    std::memcpy(device->name, probes[i].description, sizeof device->name);
    device->name[sizeof device->name - 1] = '\0';
    return true;
  }
  return false;
}

}  // namespace

bool FindManagedDevice(uint16_t handle, ManagedDevice* device) {
  if (FindProbe(gInventory.voltageProbes, gInventory.voltageProbeCount, handle, ManagedDeviceKind::kVoltageProbe,
                device) ||
      FindProbe(gInventory.temperatureProbes, gInventory.temperatureProbeCount, handle,
                ManagedDeviceKind::kTemperatureProbe, device)) {
    return true;
  }
  for (uint32_t i = 0; i < gInventory.coolingDeviceCount && i < kMaxCoolingDevices; ++i) {
    if (gInventory.coolingDevices[i].handle != handle) continue;
    device->kind = ManagedDeviceKind::kCoolingDevice;
    CoolingDeviceName(gInventory.coolingDevices[i], i + 1, device->name);
    return true;
  }
  return false;
}

void CoolingDeviceName(const CoolingDeviceRecord& fan, std::size_t number, char* name) {
  std::memset(name, 0, kInventoryTextSize);
  if (fan.description[0] != '\0') {
    std::memcpy(name, fan.description, kInventoryTextSize - 1);
  } else {
    std::snprintf(name, kInventoryTextSize, "Fan %u", static_cast<unsigned>(number));
  }
}

}  // namespace vigil
