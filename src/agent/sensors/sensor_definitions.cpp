#include "agent/sensors/sensor_definitions.h"

#include <string_view>

namespace vigil {
namespace {

// IPMI base unit codes for the threshold rows.
constexpr uint8_t kUnitDegreesC = 1;
constexpr uint8_t kUnitVolts = 4;
constexpr uint8_t kUnitRpm = 18;

struct Identity {
  uint8_t recordType;
  uint8_t ownerId;
  uint8_t sensorNumber;
  uint8_t entityId;
  uint8_t entityInstance;
  uint8_t capabilities;
  uint8_t sensorType;
  uint8_t eventReadingType;
  uint16_t readingMask;
};

constexpr void Put16(SensorDefinition& row, std::size_t at, uint16_t value) {
  row[at] = static_cast<uint8_t>(value);
  row[at + 1] = static_cast<uint8_t>(value >> 8);
}

constexpr SensorDefinition Common(uint16_t recordId, const Identity& id) {
  SensorDefinition row{};
  Put16(row, sdr::kRecordId, recordId);
  row[sdr::kVersion] = sdr::kSdrVersion;
  row[sdr::kRecordType] = id.recordType;
  row[sdr::kRecordLength] = static_cast<uint8_t>(sdr::kRowSize - 5);
  row[sdr::kOwnerId] = id.ownerId;
  row[sdr::kOwnerLun] = 0;
  row[sdr::kSensorNumber] = id.sensorNumber;
  row[sdr::kEntityId] = id.entityId;
  row[sdr::kEntityInstance] = id.entityInstance;
  row[sdr::kInitialization] = 0x7F;  // scanning, events, thresholds and hysteresis initialised
  row[sdr::kCapabilities] = id.capabilities;
  row[sdr::kSensorType] = id.sensorType;
  row[sdr::kEventReadingType] = id.eventReadingType;
  Put16(row, sdr::kReadingMask, id.readingMask);
  return row;
}

// Full record: a threshold sensor whose name is padded with spaces to `padded`, then NUL.
constexpr SensorDefinition Full(uint16_t recordId, const Identity& id, std::string_view name,
                                std::size_t padded) {
  SensorDefinition row = Common(recordId, id);
  Put16(row, sdr::kAssertionMask, 0x0A80);    // upper critical / non-critical going high
  Put16(row, sdr::kDeassertionMask, 0x0A80);
  row[sdr::kBaseUnit] = id.sensorType == 1 ? kUnitDegreesC : id.sensorType == 2 ? kUnitVolts : kUnitRpm;
  row[sdr::kFullM] = 1;
  row[sdr::kFullIdTypeLength] = static_cast<uint8_t>(sdr::kIdAscii8 | padded);
  for (std::size_t i = 0; i < padded && i < sdr::kNameSize; ++i) {
    row[sdr::kFullName + i] = static_cast<uint8_t>(i < name.size() ? name[i] : ' ');
  }
  return row;
}

// Compact record: a discrete sensor carrying its ID string in the compact record's place.
constexpr SensorDefinition Compact(uint16_t recordId, const Identity& id, std::string_view name) {
  SensorDefinition row = Common(recordId, id);
  row[sdr::kCompactIdTypeLength] = static_cast<uint8_t>(sdr::kIdAscii8 | name.size());
  for (std::size_t i = 0; i < name.size() && i < sdr::kCompactNameSize; ++i) {
    row[sdr::kCompactName + i] = static_cast<uint8_t>(name[i]);
  }
  return row;
}

constexpr uint8_t F = sdr::kFullRecord;
constexpr uint8_t C = sdr::kCompactRecord;

}  // namespace

// Owner LUN is 0 everywhere. Columns: record type, owner, number, entity, instance,
// capabilities, sensor type, event/reading type, reading mask.
const std::array<SensorDefinition, kSensorDefinitionCount> kSensorDefinitions = {
    Full(0, {F, 0x21, 0x09, 0x03, 1, 0xDD, 0x01, 0x05, 0x0002}, "CPU 1 Temp", 30),
    Full(1, {F, 0x21, 0x32, 0x07, 1, 0x5D, 0x01, 0x05, 0x0002}, "Baseboard Temp", 30),
    Full(2, {F, 0x21, 0x11, 0x03, 1, 0xDD, 0x02, 0x05, 0x0002}, "CPU 1 Vol", 30),
    Full(3, {F, 0x21, 0x40, 0x07, 1, 0x5D, 0x02, 0x05, 0x0002}, "3.3V", 29),
    Full(4, {F, 0x21, 0x19, 0x03, 1, 0xDD, 0x04, 0x05, 0x0002}, "CPU 1 Fan", 30),
    Full(5, {F, 0x21, 0x79, 0x1D, 1, 0xDD, 0x04, 0x05, 0x0002}, "System Fan 1", 29),
    Full(6, {F, 0x21, 0x7A, 0x1D, 2, 0xDD, 0x04, 0x05, 0x0002}, "System Fan 2", 29),
    Full(7, {F, 0x21, 0x7B, 0x1D, 3, 0xDD, 0x04, 0x05, 0x0002}, "System Fan 3", 29),
    Full(8, {F, 0x21, 0x7C, 0x1D, 4, 0xDD, 0x04, 0x05, 0x0002}, "System Fan 4", 29),
    Full(9, {F, 0x21, 0x1A, 0x03, 1, 0xDD, 0x04, 0x05, 0x0002}, "CPU 2 Fan", 30),
    Full(10, {F, 0x21, 0x7C, 0x1D, 4, 0xDD, 0x04, 0x05, 0x0002}, "Front Fan", 26),
    Full(11, {F, 0x21, 0x7C, 0x1D, 4, 0xDD, 0x04, 0x05, 0x0002}, "Rear Fan", 25),
    Full(12, {F, 0x21, 0x19, 0x03, 1, 0xDD, 0x04, 0x05, 0x0002}, "CPU Fan 1", 30),
    Full(13, {F, 0x21, 0x19, 0x03, 1, 0xDD, 0x04, 0x05, 0x0002}, "CPU Fan 2", 30),
    Full(14, {F, 0x21, 0x19, 0x03, 1, 0xDD, 0x04, 0x05, 0x0002}, "CPU Fan 3", 30),
    Full(15, {F, 0x21, 0x19, 0x03, 1, 0xDD, 0x04, 0x05, 0x0002}, "CPU Fan 4", 30),
    Compact(16, {C, 0x21, 0x5A, 0x0A, 1, 0x01, 0x08, 0x6F, 0x0000}, "Power Supply"),
    Compact(17, {C, 0x21, 0x78, 0x17, 1, 0x01, 0x05, 0x6F, 0x0000}, "Chassis Intrusion"),
    Compact(18, {C, 0x01, 0x01, 0x22, 1, 0x01, 0x0F, 0x6F, 0x0000}, "POST Error"),
    Compact(19, {C, 0x01, 0x97, 0x06, 1, 0x02, 0x10, 0x6F, 0x0000}, "EvenT Disabled"),
    Compact(20, {C, 0x01, 0x04, 0x20, 1, 0x01, 0x0E, 0x00, 0x0000}, "Memory Resize"),
    Compact(21, {C, 0x21, 0x01, 0x20, 1, 0x01, 0x0C, 0x6F, 0x0000}, "Memory ECC"),
    Compact(22, {C, 0x21, 0x02, 0x22, 1, 0x01, 0x13, 0x6F, 0x0000}, "PCI Error"),
};

}  // namespace vigil
