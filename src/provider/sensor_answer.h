// How a command 0x51 answer is laid out, the same for every platform provider: the response
// area mirrors the formatted area of the probe's or cooling device's structure, with the
// current status byte and raw reading where the agent looks for them.
#pragma once

#include <cstdint>

namespace hwgate {

// Fills the 256-byte `response` area (from the command block's response offset). `formatted`
// is the structure's formatted area (`length` bytes, cut to the area); `structureType` picks
// where status and reading go (a cooling device's, or a probe's). Never writes outside the area.
void AnswerSensorRead(uint8_t* response, const uint8_t* formatted, uint32_t length,
                      uint8_t structureType, uint8_t status, uint16_t raw);

}  // namespace hwgate
