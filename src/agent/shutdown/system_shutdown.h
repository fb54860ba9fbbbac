// Protective shutdown on a recent CPU over-temperature event.
#pragma once

#include <cstdint>

namespace vigil {

constexpr uint32_t kOverTempMarkerSet = 170;   // 0xAA, set by the decoder
constexpr uint32_t kNewRecordMarkerSet = 238;  // 0xEE, set by the reader
constexpr const char* kOverTempShutdownMessage = "CPU temperature is too high!";

extern uint32_t gOverTempMarker;
extern uint32_t gNewRecordMarker;

// Poll step 3: powers off when the parameter is non-zero and both markers are set.
void CheckShutdownTrigger();

}  // namespace vigil
