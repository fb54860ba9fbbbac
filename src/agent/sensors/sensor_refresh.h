// Sensor readings through the driver on a client request.
#pragma once

#include <cstddef>
#include <cstdint>

#include "agent/sensors/sensor_table.h"
#include "contract/refresh_scope.h"

namespace vigil {

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
