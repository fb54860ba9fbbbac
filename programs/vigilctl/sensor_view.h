// Sensor records as the client shows them: decoded from a block, as text lines or JSON.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vigilctl {

struct SensorRow {
  std::size_t index;
  std::string name;       // trimmed record name, or the sensor type's name for compact records
  uint8_t sensorType;
  uint8_t sensorNumber;
  uint8_t ownerId;
  float reading;
  uint16_t state;
  std::string label;      // the name field up to its first NUL, trailing blanks trimmed; may be ""
};

enum class SensorKind { kAll, kTemperature, kVoltage, kFan };

// Records 0 .. count-1 (count bounded by 128) whose sensor type matches `kind`.
std::vector<SensorRow> ReadSensorRows(const uint8_t* block, SensorKind kind);

// After a refresh with request code `request`: how many records it read (`asked`) and how
// many of those are in state Unknown (`unread`). The agent marks a record whose read failed
// Unknown, keeping its last reading; that is how the reply tells the client, without a field
// of its own in the block. A sensor whose own status is Unknown counts as unread too: its
// value is no more to be trusted.
struct UnreadCount {
  std::size_t asked;
  std::size_t unread;
};
UnreadCount CountUnread(const uint8_t* block, int32_t request);

// IPMI sensor type name ("Temperature", "Power Supply", ...).
std::string SensorTypeName(uint8_t sensorType);
// "OK", "Unknown", "Critical", "Non-critical", "Non-recoverable", "Other"; else "state N".
std::string StateName(uint16_t state);
// "25.0 °C", "3.300 V", "3000 RPM", "no reading", or "-" for discrete sensors.
std::string FormatReading(uint8_t sensorType, float reading);

// Text safe to print on a terminal: control characters (C0, DEL, C1) as \xNN or \uNNNN and
// the backslash doubled, so a name from the block cannot move the cursor or send escape
// sequences; every byte that is not part of valid UTF-8 as U+FFFD, as in the metrics.
std::string TerminalText(std::string_view text);

std::string SensorTableText(const std::vector<SensorRow>& rows);
std::string SensorTableJson(const std::vector<SensorRow>& rows);

}  // namespace vigilctl
