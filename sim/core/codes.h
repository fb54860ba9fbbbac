// Sizes and codes of the simulated device, in the simulator's words. Every value comes from the
// driver protocol (contract/driver_protocol.h, dependency-free, so kernel mode builds it too).
#pragma once

#include <cstdint>

#include "contract/driver_protocol.h"
#include "contract/smbios_types.h"

namespace hwsim {

using vigil::kIoctlDeviceCommand;
using vigil::kIoctlReadEventLog;
using vigil::kIoctlReadSmbiosTable;

constexpr uint32_t kSmbiosBufferSize = vigil::kSmbiosTableSize;
constexpr uint32_t kSmbiosHeaderSize = static_cast<uint32_t>(vigil::kSmbiosDataArea);
constexpr uint32_t kSmbiosDataCapacity = kSmbiosBufferSize - kSmbiosHeaderSize;
// Header words of the table buffer.
constexpr uint32_t kHeaderLayoutKind = static_cast<uint32_t>(vigil::kSmbiosLayoutKind);
constexpr uint32_t kHeaderVersion = static_cast<uint32_t>(vigil::kSmbiosVersion);
constexpr uint32_t kHeaderFirstStructure = static_cast<uint32_t>(vigil::kSmbiosFirstStructure);
constexpr uint32_t kHeaderSecondStringTable = static_cast<uint32_t>(vigil::kSmbiosSecondStringTable);
constexpr uint32_t kHeaderTableLength = static_cast<uint32_t>(vigil::kSmbiosTableLength);

constexpr uint32_t kCommandBlockSize = vigil::kCommandBlockSize;
constexpr uint32_t kCommandResponseOffset = static_cast<uint32_t>(vigil::kCommandResponseOffset);
using vigil::kCommandLogAlert;
using vigil::kCommandReadSensor;

// Where a sensor command answer carries the status byte and raw reading, counted from the
// start of the response area (which mirrors the structure's formatted area).
constexpr uint32_t kProbeStatusByte = static_cast<uint32_t>(vigil::kProbeStatusByte);
constexpr uint32_t kProbeRawWord = static_cast<uint32_t>(vigil::kProbeRawWord);
constexpr uint32_t kCoolingStatusByte = static_cast<uint32_t>(vigil::kCoolingStatusByte);
constexpr uint32_t kCoolingRawWord = static_cast<uint32_t>(vigil::kCoolingRawWord);

using vigil::smbios::kTypeCoolingDevice;
using vigil::smbios::kTypeSystemEventLog;
using vigil::smbios::kTypeTemperatureProbe;
using vigil::smbios::kTypeVoltageProbe;

constexpr uint32_t kMaxSensors = 128;
// Log positions are 16-bit on the wire.
constexpr uint32_t kMaxLogBytes = 0xFFFF;
constexpr uint32_t kMinRecordLength = 2;
// A record must fit one exchange's data area, or no read could ever deliver it and the log
// would stall at it; longer ones are refused when they are added.
constexpr uint32_t kMaxRecordLength = vigil::kLogDataCapacity;

}  // namespace hwsim
