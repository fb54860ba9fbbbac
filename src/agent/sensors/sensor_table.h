// Sensor table construction in the shared block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "agent/platform/model_identification.h"
#include "contract/block_layout.h"
#include "agent/state/agent_state.h"

namespace vigil {

// Builds the table in gBlock from gInventory and gModelIndex. 0 success, -1 failure (a model
// index outside 0, 1, 3, 4 with a cooling device; the records made so far stay). Service thread.
int BuildSensorTable();

// Appends one record built from definition `row` (index into kSensorDefinitions); a full row
// takes `name` (32 bytes) when given, else its own name. Dropped when the table holds 128.
void AppendSensor(std::size_t row, const char* name);

// Definition row for a cooling device, from the model index and the device's OEM value.
constexpr int kNoFanRow = -1;       // the device gets no record
constexpr int kUnknownFanModel = -2; // no fan rules for this model: the build fails
int SelectFanRow(ModelIndex modelIndex, uint32_t oemDefined);

}  // namespace vigil
