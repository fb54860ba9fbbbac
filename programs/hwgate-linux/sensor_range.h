// What the served sensor format can carry. A value outside it must not become a different
// number (a clamped 0.0 °C or 0 RPM reads as a real, healthy value): it is "no reading".
#pragma once

#include "live_sources.h"

namespace hwlinux {

// True when `value` (agent units) is one the served reading can hold as it is: temperatures
// 0 to 3276.7 °C (an unsigned count of tenths), fans 0 to 32767 RPM, voltages within
// ±32.766 V. Below absolute zero, negative speeds and the like are outside too.
bool InServedRange(SensorKind kind, int32_t value);

// Makes a reading outside the served range "no reading". Any thread.
void KeepServable(SensorKind kind, LiveReading* reading);

// A temperature sensor that counts degrees below a limit (Intel boards' "P1 Therm Margin",
// "DIMM Thrm Mrgn"): its readings are negative by design.
bool IsThermalMargin(const LiveSensor& sensor);

}  // namespace hwlinux
