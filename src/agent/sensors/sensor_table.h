// Sensor table construction in the shared block, and the sensor record layout.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vigil {

// Sensor record (96 bytes, packed) field offsets.
namespace sensor {
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
}  // namespace sensor

// Entry i: SMBIOS handle of the probe or cooling device behind sensor record i.
extern uint16_t gSensorHandles[128];

// Builds the table in gBlock from gInventory and gModelIndex. 0 success, 1 failure (a model
// index outside 0, 1, 3, 4 with a cooling device; the records made so far stay). Service thread.
int BuildSensorTable();

// Appends one record built from definition `row` (index into kSensorDefinitions); a full row
// takes `name` (32 bytes) when given, else its own name. Dropped when the table holds 128.
void AppendSensor(std::size_t row, const char* name);

// Definition row for a cooling device, from the model index and the device's OEM value.
constexpr int kNoFanRow = -1;       // the device gets no record
constexpr int kUnknownFanModel = -2; // no fan rules for this model: the build fails
int SelectFanRow(int32_t modelIndex, uint32_t oemDefined);

}  // namespace vigil
