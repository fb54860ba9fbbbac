// Sensor readings through the driver on a client request.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sensors/sensor_table.h"
#include "shared/block_access.h"
#include "shared/request_channel.h"

namespace vigil {

// Which records a refresh reads, for the agent and for clients that count what it read. A
// record is refreshable when it is a threshold sensor or has a reading mask...
inline bool SensorRefreshable(const uint8_t* record) {
  constexpr uint8_t kEventReadingThreshold = 1;
  return record[sensor::kEventReadingType] == kEventReadingThreshold ||
         block::LoadU16(record, sensor::kReadingMask) != 0;
}

// ...and a refreshable record is read by request code `request` when the driver reads it and
// the code asks for its sensor type.
inline bool SensorReadBy(const uint8_t* record, int32_t request) {
  if (record[sensor::kOwnerId] != sensor::kOwnerDriverRead) return false;
  switch (record[sensor::kSensorType]) {
    case sensor::kTypeTemperature: return request == kRequestRefreshAll || request == kRequestRefreshTemperature;
    case sensor::kTypeVoltage: return request == kRequestRefreshAll || request == kRequestRefreshVoltage;
    case sensor::kTypeFan: return request == kRequestRefreshAll || request == kRequestRefreshFan;
    default: return false;
  }
}

// Walks the table (count re-read and bounded by 128 after every record). Request thread.
void RefreshSensors();

// Reads record `index` (a pointer into gBlock) when its owner, sensor type and the current
// request code ask for it. Request thread.
void RefreshSensor(uint8_t* record, std::size_t index);

// One command 0x51 for record `index`; on success the reading, then the state, are stored.
// A failed command keeps the last reading and sets the state to Unknown (1), so that clients
// can tell a reading that is not current. Request thread (one shared command block).
void ReadTemperature(uint8_t* record, std::size_t index);
void ReadVoltage(uint8_t* record, std::size_t index);
void ReadFan(uint8_t* record, std::size_t index);

}  // namespace vigil
