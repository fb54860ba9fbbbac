// The probe or cooling device that an SMBIOS handle names, as limit events refer to it.
#pragma once

#include <cstdint>

#include "agent/platform/smbios_parser.h"

namespace vigil {

enum class ManagedDeviceKind { kVoltageProbe, kTemperatureProbe, kCoolingDevice };

struct ManagedDevice {
  ManagedDeviceKind kind;
  char name[kInventoryTextSize];  // NUL-terminated
};

// Looks `handle` up among the inventory's probes and cooling devices. A probe is named by its
// description; a cooling device, which the inventory keeps without one, as "Fan N" by its place
// in the list (from 1). False when no such device is in the inventory. No OS calls.
bool FindManagedDevice(uint16_t handle, ManagedDevice* device);

}  // namespace vigil
