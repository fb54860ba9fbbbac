// What a sensor data record says about one threshold sensor the provider serves: who owns it,
// what it measures, its name, and how a raw reading becomes a value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ipmi/bmc_transport.h"
#include "live_sources.h"

namespace hwlinux::ipmi {

enum class AnalogFormat : uint8_t { kUnsigned, kOnesComplement, kTwosComplement, kNoReading };

// y = L[(M * x + B * 10^K1) * 10^K2], in the record's base unit.
struct SdrConversion {
  int32_t m = 1;
  int32_t b = 0;
  int32_t k1 = 0;
  int32_t k2 = 0;
  uint8_t linearization = 0;  // 0: linear; 1-11 the standard functions; others unknown
  AnalogFormat format = AnalogFormat::kUnsigned;
};

struct SdrSensor {
  LiveSensor live;
  uint8_t owner = 0;
  uint8_t lunByte = 0;
  uint8_t number = 0;
  uint8_t baseUnit = 0;
  SdrConversion conversion;
};

// Fills *out and returns true when the record (`length` bytes, header included) is a full or
// compact record of a threshold temperature, voltage or fan sensor in a unit the agent can
// take (degrees C/F/K, volts, RPM) owned by a controller, not by system software. Returns
// false for every other record, also for short or malformed ones. Pure; any thread.
bool ParseSensorRecord(const uint8_t* record, std::size_t length, SdrSensor* out);

// Where Get Sensor Reading for this sensor goes.
BmcTarget SensorTarget(const SdrSensor& sensor);

// Converts raw reading `raw` into the agent's unit for the sensor's kind (tenths of a degree
// Celsius, millivolts, RPM). Returns false when the record gives no analog reading or the
// conversion has no finite result.
bool ConvertReading(const SdrSensor& sensor, uint8_t raw, int32_t* value);

// Severity from the threshold comparison bits of a Get Sensor Reading answer.
Severity SeverityFromThresholdStatus(uint8_t status);

}  // namespace hwlinux::ipmi
