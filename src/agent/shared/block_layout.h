// The one map of the shared state block "DMFileMap": every offset, size and identification
// value that the agent and its clients use. Nothing else spells a block offset as a literal.
// The block is packed little-endian: fields and records start at odd offsets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vigil::block {

constexpr const char* kName = "DMFileMap";
constexpr std::size_t kSize = 157072;

// History ring counters.
constexpr std::size_t kRingNextSlot = 0;      // u16, 0..600
constexpr std::size_t kRingAppendCount = 2;   // u16, wraps at 65536

// Identification written by the start-up once the driver is open.
constexpr std::size_t kIdByte0 = 18;          // u8  = 1
constexpr std::size_t kIdByte1 = 19;          // u8  = 0x23
constexpr std::size_t kIdByte2 = 20;          // u8  = 1
constexpr std::size_t kIdWord0 = 21;          // u16 = 0x2B99
constexpr std::size_t kIdWord1 = 23;          // u16 = 0
constexpr std::size_t kIdByte3 = 27;          // u8  = 0x10
constexpr uint8_t kIdByte0Value = 1;
constexpr uint8_t kIdByte1Value = 0x23;
constexpr uint8_t kIdByte2Value = 1;
constexpr uint16_t kIdWord0Value = 0x2B99;
constexpr uint16_t kIdWord1Value = 0;
constexpr uint8_t kIdByte3Value = 0x10;

// Sensor table.
constexpr std::size_t kSensorCount = 40;      // u16, 0..128
constexpr std::size_t kSensorSpare42 = 42;    // u16, cleared by each build
constexpr std::size_t kSensorSpare44 = 44;    // u16, cleared by each build
constexpr std::size_t kSensorSpare48 = 48;    // u16, cleared by each build
constexpr std::size_t kSensorRecords = 62;
constexpr std::size_t kSensorRecordSize = 96;
constexpr std::size_t kMaxSensors = 128;

// Event history ring.
constexpr std::size_t kRingEntries = 12350;
constexpr std::size_t kRingEntrySize = 224;
constexpr std::size_t kRingSlots = 600;

// Requests and flags.
constexpr std::size_t kRequestCode = 156516;          // s32
constexpr std::size_t kClearEventLogEnabled = 156528; // u32 agent parameter
constexpr std::size_t kStartupComplete = 156532;      // u8
constexpr std::size_t kRequest17Flag = 156533;        // u8
constexpr std::size_t kCpuOverTempShutdown = 156548;  // u32 agent parameter
constexpr std::size_t kSystemUuid = 156552;           // 16 bytes
constexpr std::size_t kSystemUuidSize = 16;

constexpr std::size_t SensorRecordOffset(std::size_t i) { return kSensorRecords + kSensorRecordSize * i; }
constexpr std::size_t RingEntryOffset(std::size_t slot) { return kRingEntries + kRingEntrySize * slot; }

static_assert(SensorRecordOffset(kMaxSensors) == kRingEntries, "sensor records end where the ring starts");
static_assert(RingEntryOffset(kRingSlots) == 146750, "the last ring slot ends at offset 146749");
static_assert(kRequestCode % 4 == 0 && kClearEventLogEnabled % 4 == 0 && kCpuOverTempShutdown % 4 == 0,
              "scalar fields shared between threads are naturally aligned");
static_assert(kSystemUuid + kSystemUuidSize <= kSize, "UUID inside the block");
static_assert(kSize == 0x26590, "block size");

}  // namespace vigil::block
