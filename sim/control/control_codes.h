// The driver's private control codes: how hwgate-simctl.exe hands the simulated platform its
// scenario and its faults. Freestanding, shared by the driver and the tool.
//
// Every private code is METHOD_BUFFERED with FILE_ANY_ACCESS on the agent's own device type,
// function numbers from 0x900 up, so they never meet the agent's three codes.
#pragma once

#include <cstdint>

#include "contract/driver_protocol.h"
#include "core/core.h"

namespace hwsim::control {

// The device type that the agent's codes carry, for IoCreateDevice.
constexpr uint32_t kDeviceType = vigil::kIoctlReadSmbiosTable >> 16;
constexpr uint32_t PrivateCode(uint32_t function) { return vigil::CtlCode(function); }

// In: nothing. Empties the core as ResetCore does (stats included).
constexpr uint32_t kIoctlReset = PrivateCode(0x900);
// In: one TableImage, exactly. Replaces table, sensor slots, log capacity and the table-read
// fault; refused when a slot lies outside the table or the log holds more than the capacity.
constexpr uint32_t kIoctlLoadTable = PrivateCode(0x901);
// In: u32 first-record time. Empties the log under that identity.
constexpr uint32_t kIoctlClearLog = PrivateCode(0x902);
// In: one record (2..127 bytes, byte 1 = its length). Out (optional, 4 bytes): u32 position.
constexpr uint32_t kIoctlAppendRecord = PrivateCode(0x903);
// In: SensorUpdate. Refused for a handle that is no probe or cooling device.
constexpr uint32_t kIoctlSetSensor = PrivateCode(0x904);
// In: FailRequest. The next `count` agent calls fail (of any code, or of `onlyCode` only).
constexpr uint32_t kIoctlFailNext = PrivateCode(0x905);
// In: u32 Malformed value. The next log read carries one bad record.
constexpr uint32_t kIoctlMalformed = PrivateCode(0x906);
// Out: the whole Core, sizeof(Core) bytes (the tool is built from the same header).
constexpr uint32_t kIoctlSnapshot = PrivateCode(0x907);

// The table half of a scenario, as the tool's own core laid it out.
struct TableImage {
  uint32_t sensorCount;
  uint32_t logCapacity;
  uint32_t smbiosFails;  // 0 or 1
  SensorSlot sensors[kMaxSensors];
  uint8_t smbios[vigil::kSmbiosTableSize];
};

struct FailRequest {
  uint32_t count;
  uint32_t onlyCode;  // 0: any code
};

struct SensorUpdate {
  uint16_t handle;
  uint16_t raw;
  uint8_t status;
};

}  // namespace hwsim::control
