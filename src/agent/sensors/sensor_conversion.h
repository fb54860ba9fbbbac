// Raw driver readings and status bytes to the reading and state kept in a sensor record.
#pragma once

#include <cstdint>

#include "contract/block_layout.h"
#include "contract/driver_protocol.h"

namespace vigil {

// Tenths of a degree Celsius.
float ConvertTemperature(uint16_t raw);
// Millivolts; 0x7FFF and above count down from 0xFFFF as negative rails.
float ConvertVoltage(uint16_t raw);
// Revolutions per minute, unscaled.
float ConvertFan(uint16_t raw);
// State from the SMBIOS status code in bits 7-5 of a probe or cooling device status byte.
uint16_t StateFromStatus(uint8_t statusByte);

}  // namespace vigil
