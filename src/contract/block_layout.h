// The one map of the shared state block "DMFileMap": every offset, size and identification
// value, the sensor record and history entry layouts, the named events and the request codes
// that the agent and its clients share. Nothing else spells a block offset as a literal.
// Dependency-free: clients and tools include this and nothing of the agent's internals.
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

// Sensor record (96 bytes, packed) field offsets and sensor types.
namespace vigil::sensor {
constexpr std::size_t kOwnerId = 0;
constexpr std::size_t kOwnerLun = 1;
constexpr std::size_t kSensorNumber = 2;
constexpr std::size_t kEntityId = 5;
constexpr std::size_t kEntityInstance = 6;
constexpr std::size_t kFixedFFFF = 7;        // u16 0xFFFF
constexpr std::size_t kCapabilities = 9;
constexpr std::size_t kSensorType = 10;
constexpr std::size_t kEventReadingType = 11;
constexpr std::size_t kReadingMask = 14;     // u16
constexpr std::size_t kReading = 33;         // f32
constexpr std::size_t kState = 37;           // u16
constexpr std::size_t kFixed3 = 39;          // u8 3
constexpr std::size_t kName = 64;            // 32 bytes
constexpr std::size_t kNameSize = 32;

constexpr uint8_t kOwnerDriverRead = 0x21;
constexpr uint8_t kTypeTemperature = 1;
constexpr uint8_t kTypeVoltage = 2;
constexpr uint8_t kTypeFan = 4;

static_assert(kName + kNameSize == block::kSensorRecordSize, "the name ends the record");
}  // namespace vigil::sensor

namespace vigil {

// The reading stored for a sensor without one (f32 bit pattern 0xC97FFFF0).
constexpr float kNoReading = -1048575.0f;

// Sensor record state values (u16 at sensor::kState).
enum SensorState : uint16_t {
  kStateOk = 0,
  kStateUnknown = 1,
  kStateCritical = 2,
  kStateNonCritical = 3,
  kStateNonRecoverable = 4,
  kStateOther = 5,
};

}  // namespace vigil

namespace vigil {

// History entry (224 bytes, packed): the first fields follow the IPMI SEL record.
constexpr std::size_t kEventTextSize = 200;  // 199 characters + NUL

#pragma pack(push, 1)
struct HistoryEntry {
  uint8_t recordType;
  int32_t time;
  uint8_t generatorIdLow;
  uint8_t generatorIdHigh;
  uint8_t evmRev;
  uint8_t sensorType;
  uint8_t sensorNumber;
  uint8_t eventReadingType;
  uint8_t eventData1;
  uint8_t eventData2;
  uint8_t eventData3;
  uint32_t seen1;
  uint32_t seen2;
  char text[kEventTextSize];
  uint8_t pet3;
  uint8_t pet4;
};
#pragma pack(pop)

static_assert(sizeof(HistoryEntry) == block::kRingEntrySize, "history entry size");
static_assert(offsetof(HistoryEntry, time) == 1 && offsetof(HistoryEntry, generatorIdLow) == 5 &&
              offsetof(HistoryEntry, sensorType) == 8 && offsetof(HistoryEntry, eventReadingType) == 10 &&
              offsetof(HistoryEntry, eventData3) == 13 && offsetof(HistoryEntry, seen1) == 14 &&
              offsetof(HistoryEntry, seen2) == 18 && offsetof(HistoryEntry, text) == 22 &&
              offsetof(HistoryEntry, pet3) == 222 && offsetof(HistoryEntry, pet4) == 223,
              "history entry layout");

// The request channel: a client writes a request code at block::kRequestCode and sets the
// request event; after a sensor refresh the agent sets the reply event.
constexpr const char* kRequestEventName = "NVX_CFG_EVENT";
constexpr const char* kReplyEventName = "NVX_SENSOR_READY_EVENT";

// Request codes (signed 32-bit, block offset kRequestCode).
constexpr int32_t kRequestRefreshAll = 0;
constexpr int32_t kRequestRefreshTemperature = 1;
constexpr int32_t kRequestRefreshVoltage = 2;
constexpr int32_t kRequestRefreshFan = 3;
constexpr int32_t kRequestSaveParameters = 9;
constexpr int32_t kRequestSetFlag17 = 17;

}  // namespace vigil
