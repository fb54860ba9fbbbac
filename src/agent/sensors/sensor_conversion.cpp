#include "agent/sensors/sensor_conversion.h"

namespace vigil {
namespace {

// Single-precision factors (0x3DCCCCCD and 0x3A83126F): readings are computed in float so a
// client sees the same bits on every build.
constexpr float kTenth = 0.1f;
constexpr float kThousandth = 0.001f;

}  // namespace

float ConvertTemperature(uint16_t raw) {
  if (raw == kRawNoReading) return kNoReading;
  return static_cast<float>(raw) * kTenth;
}

float ConvertVoltage(uint16_t raw) {
  if (raw == kRawNoReading) return kNoReading;
  if (raw < kFirstNegativeVoltageRaw) return static_cast<float>(raw) * kThousandth;
  // Negated in float, so 0xFFFF gives -0.0 rather than +0.0.
  return -(static_cast<float>(kNegativeVoltageBase - raw) * kThousandth);
}

float ConvertFan(uint16_t raw) {
  if (raw == kRawNoReading) return kNoReading;
  return static_cast<float>(raw);
}

uint16_t StateFromStatus(uint8_t statusByte) {
  switch (statusByte >> 5) {
    case 3: return kStateOk;
    case 2: return kStateUnknown;
    case 5: return kStateCritical;
    case 4: return kStateNonCritical;
    case 6: return kStateNonRecoverable;
    default: return kStateOther;  // 001 other; 000 and 111 reserved
  }
}

}  // namespace vigil
