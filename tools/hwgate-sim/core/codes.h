// Sizes and codes of the simulated device. The control codes and command block layout are the
// agent's own (agent/platform/control_codes.h, which has no port dependency, so kernel mode
// builds it too); the log exchange record comes from agent/eventlog/log_read_record.h.
#pragma once

#include <cstdint>

#include "agent/eventlog/log_read_record.h"
#include "agent/platform/control_codes.h"
#include "agent/platform/smbios_types.h"

namespace hwsim {

using vigil::kIoctlDeviceCommand;
using vigil::kIoctlReadEventLog;
using vigil::kIoctlReadSmbiosTable;

constexpr uint32_t kSmbiosBufferSize = vigil::kSmbiosTableSize;
constexpr uint32_t kSmbiosHeaderSize = 20;
constexpr uint32_t kSmbiosDataCapacity = kSmbiosBufferSize - kSmbiosHeaderSize;
// Header words of the table buffer.
constexpr uint32_t kHeaderLayoutKind = 0;
constexpr uint32_t kHeaderVersion = 4;
constexpr uint32_t kHeaderFirstStructure = 8;
constexpr uint32_t kHeaderSecondStringTable = 12;
constexpr uint32_t kHeaderTableLength = 16;

constexpr uint32_t kCommandBlockSize = vigil::kCommandBlockSize;
constexpr uint32_t kCommandResponseOffset = static_cast<uint32_t>(vigil::kCommandResponseOffset);
using vigil::kCommandLogAlert;
using vigil::kCommandReadSensor;

// Where a sensor command answer carries the status byte and raw reading, counted from the
// start of the response area (which mirrors the structure's formatted area).
constexpr uint32_t kProbeStatusByte = 5;
constexpr uint32_t kProbeRawWord = 20;
constexpr uint32_t kCoolingStatusByte = 6;
constexpr uint32_t kCoolingRawWord = 12;

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
