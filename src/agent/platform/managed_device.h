// The probe or cooling device that an SMBIOS handle names, as limit events refer to it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "agent/platform/smbios_parser.h"

namespace vigil {

enum class ManagedDeviceKind { kVoltageProbe, kTemperatureProbe, kCoolingDevice };

struct ManagedDevice {
  ManagedDeviceKind kind;
  char name[kInventoryTextSize];  // NUL-terminated
};

// Looks `handle` up among the inventory's probes and cooling devices, each named by its
// description (a cooling device as CoolingDeviceName says). False when no such device is in the
// inventory. No OS calls.
bool FindManagedDevice(uint16_t handle, ManagedDevice* device);

// The name of the cooling device at `number` (from 1) in the inventory's list: its description,
// or "Fan N" when the firmware gives none. Written into `name` (kInventoryTextSize bytes),
// NUL-padded to the end.
void CoolingDeviceName(const CoolingDeviceRecord& fan, std::size_t number, char* name);

}  // namespace vigil
