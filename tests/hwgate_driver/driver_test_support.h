// Cores for the driver tests: loaded from the fixture scenarios, compared by what they hold,
// and driven through the driver's dispatch the way the I/O manager drives it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "control/device_control.h"
#include "core/core.h"

namespace drivertest {

std::unique_ptr<hwsim::Core> EmptyCore();
// The fixture scenario `name` (e.g. "kelvo-b720.json"), loaded by the Linux simulator's loader.
std::unique_ptr<hwsim::Core> ScenarioCore(const std::string& name);
std::vector<std::string> ScenarioNames();

// Everything a core holds except the stats (which count calls, not state).
bool SameState(const hwsim::Core& a, const hwsim::Core& b);

struct Answer {
  hwsim::control::Outcome outcome;
  uint32_t returned;            // what the driver puts in IoStatus.Information
  std::vector<uint8_t> output;  // the bytes the I/O manager would copy back
};

// One METHOD_BUFFERED call: a system buffer of max(in, out) bytes whose tail past the input
// holds `junk`, as a recycled pool block would.
Answer Call(hwsim::Core& core, uint32_t code, const std::vector<uint8_t>& input, uint32_t outLength,
            uint8_t junk = 0xCC);

// The 8-byte request of a log read from `position` with `room` bytes for records.
// A log read from `position` of the log whose identity is `identity` (a request naming another
// log is answered from the start).
std::vector<uint8_t> LogRequest(uint16_t position, uint8_t room = 68, uint32_t identity = 0);
// A 260-byte command block asking for the reading of the sensor with SMBIOS `handle`.
std::vector<uint8_t> SensorCommand(uint16_t handle);

}  // namespace drivertest
