// Raw driver readings and status bytes to the reading and state kept in a sensor record.
#pragma once

#include <cstdint>

namespace vigil {

// Raw value the hardware monitor gives when a sensor has no reading.
constexpr uint16_t kRawNoReading = 0x8000;
// The reading stored for it (f32 bit pattern 0xC97FFFF0).
constexpr float kNoReading = -1048575.0f;

// Sensor record state values.
enum SensorState : uint16_t {
  kStateOk = 0,
  kStateUnknown = 1,
  kStateCritical = 2,
  kStateNonCritical = 3,
  kStateNonRecoverable = 4,
  kStateOther = 5,
};

// Tenths of a degree Celsius.
float ConvertTemperature(uint16_t raw);
// Millivolts; 0x7FFF and above count down from 0xFFFF as negative rails.
float ConvertVoltage(uint16_t raw);
// Revolutions per minute, unscaled.
float ConvertFan(uint16_t raw);
// State from the SMBIOS status code in bits 7-5 of a probe or cooling device status byte.
uint16_t StateFromStatus(uint8_t statusByte);

}  // namespace vigil
