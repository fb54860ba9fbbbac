// Which sensor records a refresh request reads. The agent reads exactly these, and a client
// counts them to tell how many of the readings it asked for are current.
#pragma once

#include <cstdint>

#include "contract/block_access.h"
#include "contract/block_layout.h"

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

}  // namespace vigil
