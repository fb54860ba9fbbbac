#include "sensor_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "contract/refresh_scope.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "json_text.h"
#include "text/json_string.h"
#include "text/utf8_text.h"

namespace vigilctl {
namespace {

namespace sensor = vigil::sensor;

bool Matches(uint8_t type, SensorKind kind) {
  switch (kind) {
    case SensorKind::kAll: return true;
    case SensorKind::kTemperature: return type == sensor::kTypeTemperature;
    case SensorKind::kVoltage: return type == sensor::kTypeVoltage;
    case SensorKind::kFan: return type == sensor::kTypeFan;
  }
  return false;
}

std::string TrimmedName(const uint8_t* field) {
  std::size_t length = 0;
  while (length < sensor::kNameSize && field[length] != 0) ++length;
  while (length > 0 && field[length - 1] == ' ') --length;
  return std::string(reinterpret_cast<const char*>(field), length);
}

}  // namespace

std::string TerminalText(std::string_view text) {
  // A stray byte shows as U+FFFD, as the metrics show it.
  return vigil::text::ValidUtf8With(text, [](std::string_view c, std::string* out) {
    const auto byte = static_cast<unsigned char>(c[0]);
    // C1 controls (U+0080..U+009F, C2 80..C2 9F) act on terminals like ESC sequences.
    const bool c1 = c.size() == 2 && byte == 0xC2 && static_cast<unsigned char>(c[1]) < 0xA0;
    if (byte < 0x20 || byte == 0x7F || c1) {
      char escape[8];
      std::snprintf(escape, sizeof escape, c1 ? "\\u%04X" : "\\x%02X", c1 ? unsigned(c[1] & 0xFF) : byte);
      *out += escape;
    } else if (byte == '\\') {
      *out += "\\\\";
    } else {
      return false;
    }
    return true;
  });
}

std::vector<SensorRow> ReadSensorRows(const uint8_t* block, SensorKind kind) {
  namespace b = vigil::block;
  std::size_t count = std::min<std::size_t>(b::LoadU16(block, b::kSensorCount), b::kMaxSensors);
  std::vector<SensorRow> rows;
  for (std::size_t i = 0; i < count; ++i) {
    // One copy, then decode: the agent may be writing the record meanwhile.
    uint8_t record[b::kSensorRecordSize];
    std::memcpy(record, block + b::SensorRecordOffset(i), sizeof record);
    uint8_t type = record[sensor::kSensorType];
    if (!Matches(type, kind)) continue;
    std::string label = TrimmedName(record + sensor::kName);
    std::string name = label.empty() ? SensorTypeName(type) : label;
    rows.push_back({i, name, type, record[sensor::kSensorNumber], record[sensor::kOwnerId],
                    b::LoadF32(record, sensor::kReading), b::LoadU16(record, sensor::kState), label});
  }
  return rows;
}

UnreadCount CountUnread(const uint8_t* block, int32_t request) {
  namespace b = vigil::block;
  std::size_t count = std::min<std::size_t>(b::LoadU16(block, b::kSensorCount), b::kMaxSensors);
  UnreadCount outcome{0, 0};
  for (std::size_t i = 0; i < count; ++i) {
    uint8_t record[b::kSensorRecordSize];
    std::memcpy(record, block + b::SensorRecordOffset(i), sizeof record);
    if (!vigil::SensorRefreshable(record) || !vigil::SensorReadBy(record, request)) continue;
    ++outcome.asked;
    if (b::LoadU16(record, sensor::kState) == vigil::kStateUnknown) ++outcome.unread;
  }
  return outcome;
}

std::string SensorTypeName(uint8_t sensorType) {
  // IPMI sensor type codes.
  static const char* const kNames[] = {
      "Reserved", "Temperature", "Voltage", "Current", "Fan", "Physical Security",
      "Platform Security", "Processor", "Power Supply", "Power Unit", "Cooling Device",
      "Other Units", "Memory", "Drive Slot", "POST Memory Resize", "System Firmware Progress",
      "Event Logging Disabled", "Watchdog 1", "System Event", "Critical Interrupt",
      "Button / Switch", "Module / Board", "Microcontroller", "Add-in Card", "Chassis",
      "Chip Set", "Other FRU", "Cable / Interconnect", "Terminator", "System Boot Initiated",
      "Boot Error", "OS Boot", "OS Critical Stop", "Slot / Connector", "System ACPI Power State",
      "Watchdog 2", "Platform Alert", "Entity Presence", "Monitor ASIC", "LAN",
      "Management Subsystem Health", "Battery", "Session Audit", "Version Change", "FRU State"};
  if (sensorType < sizeof kNames / sizeof kNames[0]) return kNames[sensorType];
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, sensorType >= 0xC0 ? "OEM 0x%02X" : "Type 0x%02X", sensorType);
  return buffer;
}

std::string StateName(uint16_t state) {
  static const char* const kStates[] = {"OK", "Unknown", "Critical", "Non-critical", "Non-recoverable", "Other"};
  if (state < sizeof kStates / sizeof kStates[0]) return kStates[state];
  return "state " + std::to_string(state);
}

std::string FormatReading(uint8_t sensorType, float reading) {
  const char* format = nullptr;
  switch (sensorType) {
    case sensor::kTypeTemperature: format = "%.1f \u00B0C"; break;
    case sensor::kTypeVoltage: format = "%.3f V"; break;
    case sensor::kTypeFan: format = "%.0f RPM"; break;
    default: return "-";
  }
  if (reading == vigil::kNoReading) return "no reading";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, static_cast<double>(reading));
  return buffer;
}

std::string SensorTableText(const std::vector<SensorRow>& rows) {
  std::string out;
  char line[512];  // a 32-byte name escaped is at most 192 bytes
  std::snprintf(line, sizeof line, "%-5s %-32s %-26s %-16s %s\n", "Index", "Name", "Type", "Reading", "State");
  out += line;
  for (const SensorRow& r : rows) {
    std::string reading = FormatReading(r.sensorType, r.reading);
    // The degree sign is two bytes but one column.
    int width = 16 + (reading.find("\u00B0") != std::string::npos ? 1 : 0);
    std::snprintf(line, sizeof line, "%-5zu %-32s %-26s %-*s %s\n", r.index, TerminalText(r.name).c_str(),
                  SensorTypeName(r.sensorType).c_str(), width, reading.c_str(), StateName(r.state).c_str());
    out += line;
  }
  return out;
}

std::string SensorTableJson(const std::vector<SensorRow>& rows) {
  std::string out = "[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const SensorRow& r = rows[i];
    out += i == 0 ? "\n  " : ",\n  ";
    out += "{\"index\": " + std::to_string(r.index) + ", \"name\": " + vigil::text::JsonString(r.name) +
           ", \"sensorType\": " + std::to_string(r.sensorType) +
           ", \"sensorNumber\": " + std::to_string(r.sensorNumber) +
           ", \"ownerId\": " + std::to_string(r.ownerId) + ", \"reading\": " + JsonFloat(r.reading) +
           ", \"state\": " + std::to_string(r.state) + "}";
  }
  out += rows.empty() ? "]\n" : "\n]\n";
  return out;
}

}  // namespace vigilctl
