// What the agent and a platform access driver agree on: the control codes and buffer sizes of
// \\.\HwGate and the command block layout. Plain constants with no port dependency, so the
// simulated driver (user mode and kernel mode) compiles against the same definitions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vigil {

// CTL_CODE(0x8000, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr uint32_t CtlCode(uint32_t function) { return (0x8000u << 16) | (function << 2); }
constexpr uint32_t kIoctlReadSmbiosTable = CtlCode(0x801);
constexpr uint32_t kIoctlReadEventLog = CtlCode(0x806);
constexpr uint32_t kIoctlDeviceCommand = CtlCode(0x80A);
static_assert(kIoctlReadSmbiosTable == 0x80002004 && kIoctlReadEventLog == 0x80002018 &&
              kIoctlDeviceCommand == 0x80002028, "control codes");

constexpr uint32_t kSmbiosTableSize = 8192;
constexpr uint32_t kLogReadRequestSize = 8;
constexpr uint32_t kLogReadRecordSize = 76;

// Command block: u16 code, u16 argument, 256-byte response area; sent and answered in place.
constexpr uint32_t kCommandBlockSize = 260;
constexpr std::size_t kCommandCodeOffset = 0;
constexpr std::size_t kCommandArgumentOffset = 2;
constexpr std::size_t kCommandResponseOffset = 4;
constexpr uint16_t kCommandReadSensor = 0x51;
constexpr uint16_t kCommandLogAlert = 0x54;

}  // namespace vigil
