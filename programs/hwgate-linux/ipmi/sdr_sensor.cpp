#include "ipmi/sdr_sensor.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "ipmi/ipmi_codes.h"
#include "ipmi/sensor_key.h"

namespace hwlinux::ipmi {

namespace {

// Record offsets shared by full and compact sensor records.
constexpr std::size_t kRecordTypeAt = 3;
constexpr std::size_t kOwnerAt = 5;
constexpr std::size_t kLunAt = 6;
constexpr std::size_t kNumberAt = 7;
constexpr std::size_t kSensorTypeAt = 12;
constexpr std::size_t kEventTypeAt = 13;
constexpr std::size_t kUnits1At = 20;
constexpr std::size_t kBaseUnitAt = 21;
// Full record only: linearization, M, B, exponents; then the id string.
constexpr std::size_t kLinearizationAt = 23;
constexpr std::size_t kMAt = 24;
constexpr std::size_t kBAt = 26;
constexpr std::size_t kExponentsAt = 29;
constexpr std::size_t kFullIdAt = 47;
constexpr std::size_t kCompactIdAt = 31;
constexpr std::size_t kMaxIdBytes = 16;

constexpr uint8_t kSoftwareOwner = 0x01;

constexpr uint8_t kUnitCelsius = 1;
constexpr uint8_t kUnitFahrenheit = 2;
constexpr uint8_t kUnitKelvin = 3;
constexpr uint8_t kUnitVolts = 4;
constexpr uint8_t kUnitRpm = 18;

// Threshold comparison status bits of Get Sensor Reading.
constexpr uint8_t kNonRecoverableBits = 0x24;
constexpr uint8_t kCriticalBits = 0x12;
constexpr uint8_t kNonCriticalBits = 0x09;

int32_t SignExtend(uint32_t value, int bits) {
  const uint32_t sign = 1u << (bits - 1);
  return int32_t((value ^ sign) - sign);
}

bool KindFor(uint8_t sensorType, uint8_t unit, SensorKind* kind) {
  if (sensorType == kSensorTypeTemperature &&
      (unit == kUnitCelsius || unit == kUnitFahrenheit || unit == kUnitKelvin)) {
    *kind = SensorKind::kTemperature;
    return true;
  }
  if (sensorType == kSensorTypeVoltage && unit == kUnitVolts) {
    *kind = SensorKind::kVoltage;
    return true;
  }
  if (sensorType == kSensorTypeFan && unit == kUnitRpm) {
    *kind = SensorKind::kFan;
    return true;
  }
  return false;
}

char Printable(unsigned c) { return c >= 0x20 && c < 0x7F ? char(c) : ' '; }

// The id string in whichever of its encodings the type/length byte names.
std::string IdString(const uint8_t* bytes, std::size_t available, uint8_t typeLength) {
  std::size_t count = typeLength & 0x1F;
  if (count > kMaxIdBytes) count = kMaxIdBytes;
  if (count > available) count = available;
  std::string text;
  switch (typeLength >> 6) {
    case 0x1:  // BCD plus: two characters a byte
      for (std::size_t i = 0; i < count; ++i) {
        for (unsigned nibble : {unsigned(bytes[i] >> 4), unsigned(bytes[i] & 0xF)}) {
          text += nibble < 10 ? char('0' + nibble) : " -.:,_"[nibble - 10];
        }
      }
      break;
    case 0x2:  // 6-bit packed ASCII: four characters in three bytes, low bits first
      for (std::size_t bit = 0; bit + 6 <= count * 8; bit += 6) {
        const std::size_t at = bit / 8;
        uint32_t pair = bytes[at];
        if (at + 1 < count) pair |= uint32_t(bytes[at + 1]) << 8;
        text += char(0x20 + (pair >> (bit % 8) & 0x3F));
      }
      break;
    default:  // 8-bit ASCII + Latin-1 (and Unicode, read byte by byte)
      for (std::size_t i = 0; i < count && bytes[i] != 0; ++i) text += Printable(bytes[i]);
      break;
  }
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

double Linearize(uint8_t function, double y, bool* ok) {
  switch (function) {
    case 0x00: return y;
    case 0x01: return std::log(y);
    case 0x02: return std::log10(y);
    case 0x03: return std::log2(y);
    case 0x04: return std::exp(y);
    case 0x05: return std::pow(10.0, y);
    case 0x06: return std::exp2(y);
    case 0x07: return 1.0 / y;
    case 0x08: return y * y;
    case 0x09: return y * y * y;
    case 0x0A: return std::sqrt(y);
    case 0x0B: return std::cbrt(y);
    default: *ok = false; return 0;
  }
}

}  // namespace

bool ParseSensorRecord(const uint8_t* record, std::size_t length, SdrSensor* out) {
  if (length <= kBaseUnitAt) return false;
  const uint8_t type = record[kRecordTypeAt];
  const bool full = type == kSdrTypeFull;
  if (!full && type != kSdrTypeCompact) return false;
  if (record[kEventTypeAt] != kEventReadingThreshold) return false;
  if (record[kOwnerAt] & kSoftwareOwner) return false;
  SensorKind kind;
  if (!KindFor(record[kSensorTypeAt], record[kBaseUnitAt], &kind)) return false;

  SdrSensor sensor;
  sensor.owner = record[kOwnerAt];
  sensor.lunByte = record[kLunAt];
  sensor.number = record[kNumberAt];
  sensor.baseUnit = record[kBaseUnitAt];
  SdrConversion& c = sensor.conversion;
  c.format = AnalogFormat(record[kUnits1At] >> 6);
  if (full) {
    if (length <= kFullIdAt) return false;
    c.linearization = record[kLinearizationAt] & 0x7F;
    c.m = SignExtend(record[kMAt] | uint32_t(record[kMAt + 1] >> 6) << 8, 10);
    c.b = SignExtend(record[kBAt] | uint32_t(record[kBAt + 1] >> 6) << 8, 10);
    c.k2 = SignExtend(record[kExponentsAt] >> 4, 4);
    c.k1 = SignExtend(record[kExponentsAt] & 0x0F, 4);
  } else if (length <= kCompactIdAt) {
    return false;
  }
  // A compact record has no factors: its raw reading is the value in the unit.
  const std::size_t idAt = full ? kFullIdAt : kCompactIdAt;
  sensor.live.kind = kind;
  sensor.live.name = IdString(record + idAt + 1, length - idAt - 1, record[idAt]);
  if (sensor.live.name.empty()) {
    char fallback[32];
    std::snprintf(fallback, sizeof fallback, "Sensor %02Xh", unsigned(sensor.number));
    sensor.live.name = fallback;
  }
  sensor.live.origin = kIpmiOrigin;
  sensor.live.key = SensorKey(sensor.owner, sensor.lunByte, sensor.number);
  *out = sensor;
  return true;
}

BmcTarget SensorTarget(const SdrSensor& sensor) {
  BmcTarget target;
  target.lun = sensor.lunByte & 0x03;
  if (sensor.owner != kBmcSlaveAddress) {
    target.ipmb = true;
    target.channel = sensor.lunByte >> 4;
    target.slaveAddress = sensor.owner;
  }
  return target;
}

bool ConvertReading(const SdrSensor& sensor, uint8_t raw, int32_t* value) {
  const SdrConversion& c = sensor.conversion;
  double x = 0;
  switch (c.format) {
    case AnalogFormat::kUnsigned: x = raw; break;
    case AnalogFormat::kOnesComplement: x = raw & 0x80 ? -double(uint8_t(~raw)) : raw; break;
    case AnalogFormat::kTwosComplement: x = int8_t(raw); break;
    case AnalogFormat::kNoReading: return false;
  }
  bool ok = true;
  double y = Linearize(c.linearization,
                       (c.m * x + c.b * std::pow(10.0, c.k1)) * std::pow(10.0, c.k2), &ok);
  if (!ok || !std::isfinite(y)) return false;
  double scaled = y;
  switch (sensor.live.kind) {
    case SensorKind::kTemperature:
      if (sensor.baseUnit == kUnitFahrenheit) y = (y - 32.0) * 5.0 / 9.0;
      if (sensor.baseUnit == kUnitKelvin) y -= 273.15;
      scaled = y * 10.0;
      break;
    case SensorKind::kVoltage: scaled = y * 1000.0; break;
    case SensorKind::kFan: break;
  }
  scaled = std::round(scaled);
  if (scaled > 2147483647.0 || scaled < -2147483648.0) return false;
  *value = int32_t(scaled);
  return true;
}

Severity SeverityFromThresholdStatus(uint8_t status) {
  if (status & kNonRecoverableBits) return Severity::kNonRecoverable;
  if (status & kCriticalBits) return Severity::kCritical;
  if (status & kNonCriticalBits) return Severity::kNonCritical;
  return Severity::kOk;
}

}  // namespace hwlinux::ipmi
