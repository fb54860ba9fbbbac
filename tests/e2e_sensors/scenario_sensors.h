// What a scenario file says the sensor table must hold, worked out from the documented build
// rules and conversions, independently of the agent's code.
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
};

// Model index that the scenario's product name identifies.
struct ScenarioTable {
  int32_t model;
  std::vector<ExpectedSensor> sensors;  // in table order, discrete sensors last
};

// Loads fixtures/scenarios/<file>; fails the test (and returns an empty table) on a bad file.
ScenarioTable LoadScenarioTable(const std::string& file);

// Readings and states from the documented formulas.
float ExpectedReading(uint8_t sensorType, uint16_t raw);
uint16_t ExpectedState(uint8_t status);
// True for the sensor types the refresh reads through the driver.
bool IsRead(const ExpectedSensor& s);

}  // namespace vigil::test
