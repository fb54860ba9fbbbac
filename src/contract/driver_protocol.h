// What the agent and a platform access driver agree on: the device path, the control codes and
// buffer sizes of \\.\HwGate, the SMBIOS table buffer header, the command block and the
// sensor answer, and the log read record. Dependency-free, so the simulated driver (user mode
// and kernel mode) and the Linux provider compile against the same definitions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "contract/smbios_types.h"

namespace vigil {

constexpr const char* kDriverPath = "\\\\.\\HwGate";

// CTL_CODE(0x8000, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr uint32_t CtlCode(uint32_t function) { return (0x8000u << 16) | (function << 2); }
constexpr uint32_t kIoctlReadSmbiosTable = CtlCode(0x801);
constexpr uint32_t kIoctlReadEventLog = CtlCode(0x806);
constexpr uint32_t kIoctlDeviceCommand = CtlCode(0x80A);
static_assert(kIoctlReadSmbiosTable == 0x80002004 && kIoctlReadEventLog == 0x80002018 &&
              kIoctlDeviceCommand == 0x80002028, "control codes");

constexpr uint32_t kSmbiosTableSize = 8192;

// SMBIOS table buffer: a header of little-endian u32 fields, then the structures.
constexpr std::size_t kSmbiosLayoutKind = 0;         // 0 none, 1 standard, 2 strings apart
constexpr std::size_t kSmbiosVersion = 4;
constexpr std::size_t kSmbiosFirstStructure = 8;
constexpr std::size_t kSmbiosSecondStringTable = 12;
constexpr std::size_t kSmbiosTableLength = 16;
constexpr std::size_t kSmbiosDataArea = 20;
constexpr uint32_t kSmbiosLayoutNone = 0;
constexpr uint32_t kSmbiosLayoutStandard = 1;
constexpr uint32_t kSmbiosLayoutStringsApart = 2;
constexpr uint32_t kLogReadRequestSize = 8;
constexpr uint32_t kLogReadRecordSize = 76;

// Command block: u16 code, u16 argument, 256-byte response area; sent and answered in place.
constexpr uint32_t kCommandBlockSize = 260;
constexpr std::size_t kCommandCodeOffset = 0;
constexpr std::size_t kCommandArgumentOffset = 2;
constexpr std::size_t kCommandResponseOffset = 4;
constexpr uint16_t kCommandReadSensor = 0x51;
constexpr uint16_t kCommandLogAlert = 0x54;

// A sensor command's answer mirrors the formatted area of the probe's SMBIOS structure; the
// agent reads the status byte (bits 7-5) and the raw reading where the structure keeps its
// status and its nominal value (probes) or nominal speed (cooling devices).
constexpr std::size_t kProbeStatusByte = smbios::kProbeLocationStatusField;
constexpr std::size_t kProbeRawWord = smbios::kProbeNominalValueField;
constexpr std::size_t kCoolingStatusByte = smbios::kCoolingTypeStatusField;
constexpr std::size_t kCoolingRawWord = smbios::kCoolingNominalSpeedField;
// Raw value of a sensor answer that has no reading.
constexpr uint16_t kRawNoReading = 0x8000;
// A voltage's raw word counts millivolts; from 0x7FFF up it reads negative, -(0xFFFF - raw).
constexpr uint16_t kFirstNegativeVoltageRaw = 0x7FFF;
constexpr uint16_t kNegativeVoltageBase = 0xFFFF;

// A BIOS event log record: its type byte, then its length in the low 7 bits of byte 1 (the
// firmware keeps its "read" flag in bit 7), then the BCD time and the variable data.
constexpr uint8_t kLogRecordLengthMask = 0x7F;
constexpr uint32_t LogRecordLength(const uint8_t* record) { return record[1] & kLogRecordLengthMask; }

// LogReadRecord: the 76-byte request/response buffer of one event log read exchange. The
// first 8 bytes are the request; the driver answers in place.
constexpr uint8_t kLogDataCapacity = 68;

#pragma pack(push, 1)
struct LogReadRecord {
  uint32_t firstRecordTime;
  uint16_t position;
  uint8_t dataLength;
  uint8_t moreRecords;
  uint8_t data[kLogDataCapacity];
};
#pragma pack(pop)

static_assert(sizeof(LogReadRecord) == kLogReadRecordSize, "LogReadRecord size");
static_assert(offsetof(LogReadRecord, position) == 4 && offsetof(LogReadRecord, dataLength) == 6 &&
              offsetof(LogReadRecord, moreRecords) == 7 && offsetof(LogReadRecord, data) == 8,
              "LogReadRecord layout");

}  // namespace vigil
