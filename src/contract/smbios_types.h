// SMBIOS structure types the agent and the simulated platform look at (DMTF SMBIOS reference).
// Plain constants with no port dependency, shared with the simulator's kernel-mode build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vigil::smbios {

constexpr uint8_t kTypeSystemInformation = 1;
constexpr uint8_t kTypeMemoryController = 5;
constexpr uint8_t kTypeSystemEventLog = 15;
constexpr uint8_t kTypeMemoryDevice = 17;
constexpr uint8_t kTypeVoltageProbe = 26;
constexpr uint8_t kTypeCoolingDevice = 27;
constexpr uint8_t kTypeTemperatureProbe = 28;
constexpr uint8_t kTypeEndOfTable = 127;
constexpr uint8_t kTypeLast = 255;

// System information (type 1): string number of the product name.
constexpr std::size_t kSystemProductNameField = 0x05;

}  // namespace vigil::smbios
