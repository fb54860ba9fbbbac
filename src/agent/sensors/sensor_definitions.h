// The constant sensor definition table: 23 IPMI-style sensor data records of 80 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vigil {

// Definition row layout: a 5-byte SDR header, then the full (type 1) or compact (type 2)
// record body. Only the fields the table build copies are named here.
namespace sdr {
constexpr std::size_t kRowSize = 80;
constexpr std::size_t kRecordId = 0;          // u16
constexpr std::size_t kVersion = 2;
constexpr std::size_t kRecordType = 3;
constexpr std::size_t kRecordLength = 4;
constexpr std::size_t kOwnerId = 5;
constexpr std::size_t kOwnerLun = 6;
constexpr std::size_t kSensorNumber = 7;
constexpr std::size_t kEntityId = 8;
constexpr std::size_t kEntityInstance = 9;
constexpr std::size_t kInitialization = 10;
constexpr std::size_t kCapabilities = 11;
constexpr std::size_t kSensorType = 12;
constexpr std::size_t kEventReadingType = 13;
constexpr std::size_t kAssertionMask = 14;    // u16
constexpr std::size_t kDeassertionMask = 16;  // u16
constexpr std::size_t kReadingMask = 18;      // u16
constexpr std::size_t kUnits1 = 20;
constexpr std::size_t kBaseUnit = 21;
constexpr std::size_t kFullM = 24;
constexpr std::size_t kFullIdTypeLength = 47;
constexpr std::size_t kFullName = 48;         // 32 bytes
constexpr std::size_t kCompactIdTypeLength = 31;
constexpr std::size_t kCompactName = 32;      // ID string, longer than the IPMI 16 bytes allow
constexpr std::size_t kCompactNameSize = 31;   // the type/length code holds at most 31
constexpr std::size_t kNameSize = 32;

constexpr uint8_t kFullRecord = 1;
constexpr uint8_t kCompactRecord = 2;
constexpr uint8_t kSdrVersion = 0x51;         // IPMI 1.5 / 2.0
constexpr uint8_t kIdAscii8 = 0xC0;           // type/length: 8-bit ASCII + Latin 1
}  // namespace sdr

using SensorDefinition = std::array<uint8_t, sdr::kRowSize>;

// Rows the build picks by name.
enum SensorRow : std::size_t {
  kRowCpuTemperature = 0,
  kRowBoardTemperature = 1,
  kRowCpuVoltage = 2,
  kRowOtherVoltage = 3,
  kRowCpu1Fan = 4,
  kRowSystemFan1 = 5,
  kRowSystemFan2 = 6,
  kRowSystemFan3 = 7,
  kRowSystemFan4 = 8,
  kRowCpu2Fan = 9,
  kRowFrontFan = 10,
  kRowRearFan = 11,
  kRowCpuFan1 = 12,
  kRowCpuFan2 = 13,
  kRowCpuFan3 = 14,
  kRowCpuFan4 = 15,
  kRowFirstDiscrete = 16,
  kSensorDefinitionCount = 23,
};

extern const std::array<SensorDefinition, kSensorDefinitionCount> kSensorDefinitions;

}  // namespace vigil
