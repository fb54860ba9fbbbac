#include "sensor_range.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace hwlinux {

namespace {

constexpr int32_t kUnsignedMax = 0x7FFF;  // 0x8000 is "no reading"
constexpr int32_t kVoltageMax = 0x7FFE;   // the agent reads 0x7FFF and above as negative

}  // namespace

bool InServedRange(SensorKind kind, int32_t value) {
  switch (kind) {
    case SensorKind::kTemperature:
    case SensorKind::kFan: return value >= 0 && value <= kUnsignedMax;
    case SensorKind::kVoltage: return value >= -kVoltageMax && value <= kVoltageMax;
  }
  return false;
}

void KeepServable(SensorKind kind, LiveReading* reading) {
  if (reading->valid && !InServedRange(kind, reading->value)) *reading = LiveReading();
}

bool IsThermalMargin(const LiveSensor& sensor) {
  if (sensor.kind != SensorKind::kTemperature) return false;
  std::string name = sensor.name;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return name.find("margin") != std::string::npos || name.find("mrgn") != std::string::npos;
}

}  // namespace hwlinux
