// What each scenario's sensor table must hold, written down by hand from the scenario file
// (its probes, cooling devices and sensor answers) and the documented build rules, definition
// rows and conversions. Nothing here is computed by a rule, so a fault in the agent's rules
// cannot reappear in the expectation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vigil::test {

struct ExpectedSensor {
  uint16_t handle;       // 0 for the discrete sensors
  uint8_t ownerId, sensorNumber, entityId, entityInstance, sensorType;
  std::string name;      // the 32-byte name field
  uint16_t raw;          // what the simulator answers, before any set-sensor
  uint8_t status;
  float reading;         // after a refresh: the f32 nearest raw x 0.1f / x 0.001f, or raw
  uint16_t state;        // after a refresh
};

struct ScenarioTable {
  std::vector<ExpectedSensor> sensors;  // in table order, discrete sensors last
};

// The expected table of fixtures/scenarios/<file>; fails the test (and returns an empty table)
// for a scenario that has none written down.
ScenarioTable LoadScenarioTable(const std::string& file);

// True for the sensors a refresh reads through the driver: all but the discrete ones, which
// have no handle.
bool IsRead(const ExpectedSensor& s);

}  // namespace vigil::test
