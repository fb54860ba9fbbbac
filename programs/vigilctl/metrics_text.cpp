#include "metrics_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>

#include "block_header.h"
#include "event_view.h"
#include "sensor_view.h"
#include "text/utf8_text.h"
#include "uuid_text.h"

namespace vigilctl {
namespace {

// Every family the exposition can hold, in output order: the one list HELP and TYPE come from.
enum Family {
  kTemperature,
  kVoltage,
  kFanSpeed,
  kSensorState,
  kEventsTotal,
  kHistoryEntries,
  kEventsNew,
  kEventsByType,
  kEventsLatestNew,
  kLogUtilization,
  kAgentUp,
  kAgentInfo,
  kProtectiveShutdown,
  kRefreshSuccess,
  kRefreshAge,
};

struct FamilyText {
  const char* name;
  const char* type;
  const char* help;
};

constexpr FamilyText kFamilies[] = {
    {"vigil_temperature_celsius", "gauge", "Temperature probe reading in degrees Celsius."},
    {"vigil_voltage_volts", "gauge", "Voltage probe reading in volts."},
    {"vigil_fan_speed_rpm", "gauge", "Fan speed in revolutions per minute."},
    {"vigil_sensor_state", "gauge",
     "Sensor state: 0 OK, 1 non-critical, 2 critical, 3 non-recoverable, NaN unknown or other."},
    {"vigil_bios_events_total", "counter", "BIOS events appended to the history since the agent started."},
    {"vigil_bios_event_history_entries", "gauge", "Entries in the BIOS event history."},
    {"vigil_bios_events_new", "gauge", "History entries the agent reported as new (not yet seen)."},
    {"vigil_bios_events", "gauge", "History entries per event type."},
    {"vigil_bios_event_latest_new_sequence", "gauge",
     "Append count at the newest history entry of each event type that the agent reported as new; "
     "changes with every new event of that type."},
    {"vigil_bios_event_log_utilization_percent", "gauge",
     "Per cent of the BIOS event log data area in use after the agent's last completed poll."},
    {"vigil_agent_up", "gauge",
     "1 when an agent is running and answering: started in the block, service running, request channel held."},
    {"vigil_agent_info", "gauge", "Server model, manufacturer, product name and system UUID of the agent's server."},
    {"vigil_protective_shutdown_enabled", "gauge", "1 when the protective power-off on CPU over-temperature is enabled."},
    {"vigil_scrape_refresh_success", "gauge", "1 when the agent refreshed the sensor readings for this scrape."},
    {"vigil_scrape_refresh_age_seconds", "gauge", "Seconds since the sensor readings were last refreshed."},
};
static_assert(sizeof kFamilies / sizeof kFamilies[0] == kRefreshAge + 1, "one text per family");

// The three kinds of reading sensors: their reading family and the word of their type label.
struct SensorKindText {
  uint8_t sensorType;
  Family family;
  const char* word;
};
constexpr SensorKindText kSensorKinds[] = {
    {vigil::sensor::kTypeTemperature, kTemperature, "temperature"},
    {vigil::sensor::kTypeVoltage, kVoltage, "voltage"},
    {vigil::sensor::kTypeFan, kFanSpeed, "fan"},
};

const SensorKindText* KindOf(uint8_t sensorType) {
  for (const SensorKindText& k : kSensorKinds) {
    if (k.sensorType == sensorType) return &k;
  }
  return nullptr;
}

// Severity in the order alerts compare on; unknown and other have none.
double StateValue(uint16_t state) {
  switch (state) {
    case vigil::kStateOk: return 0;
    case vigil::kStateNonCritical: return 1;
    case vigil::kStateCritical: return 2;
    case vigil::kStateNonRecoverable: return 3;
    default: return std::numeric_limits<double>::quiet_NaN();
  }
}

class Writer {
 public:
  explicit Writer(std::string* out) : out_(out) {}

  void Header(Family f) {
    const FamilyText& t = kFamilies[f];
    *out_ += "# HELP ";
    *out_ += t.name;
    *out_ += ' ';
    *out_ += t.help;
    *out_ += "\n# TYPE ";
    *out_ += t.name;
    *out_ += ' ';
    *out_ += t.type;
    *out_ += '\n';
  }

  // `labels` is the text between the braces, already escaped; "" for none.
  void Sample(Family f, const std::string& labels, const std::string& value) {
    *out_ += kFamilies[f].name;
    if (!labels.empty()) {
      *out_ += '{';
      *out_ += labels;
      *out_ += '}';
    }
    *out_ += ' ';
    *out_ += value;
    *out_ += '\n';
  }

  void Family1(Family f, double value) {
    Header(f);
    Sample(f, "", SampleValue(value));
  }

 private:
  std::string* out_;
};

std::string Label(const char* name, std::string_view value) {
  return std::string(name) + "=\"" + LabelValue(value) + "\"";
}

std::string SensorLabels(const SensorRow& row) {
  return Label("sensor", row.label) + "," + Label("index", std::to_string(row.index));
}

void WriteSensors(Writer& w, const uint8_t* block) {
  const std::vector<SensorRow> rows = ReadSensorRows(block, SensorKind::kAll);
  for (const SensorKindText& kind : kSensorKinds) {
    w.Header(kind.family);
    for (const SensorRow& row : rows) {
      // The no-reading marker is not a temperature of -1048575 degrees: no sample at all.
      if (row.sensorType != kind.sensorType || row.reading == vigil::kNoReading) continue;
      w.Sample(kind.family, SensorLabels(row), SampleValue(row.reading));
    }
  }
  w.Header(kSensorState);
  for (const SensorRow& row : rows) {
    const SensorKindText* kind = KindOf(row.sensorType);
    if (kind == nullptr) continue;
    w.Sample(kSensorState, SensorLabels(row) + "," + Label("type", kind->word), SampleValue(StateValue(row.state)));
  }
}

void WriteEvents(Writer& w, const uint8_t* block) {
  const RingCounters counters = ReadRingCounters(block);
  const std::vector<std::size_t> slots = RingOrder(counters, false);
  // One entry at a time on the stack: a copy of the whole ring would cost more than the text.
  std::size_t fresh = 0;
  std::size_t perSensorType[256] = {};
  std::size_t newestNew[256] = {};  // 1 + place in `slots` of the type's newest new entry; 0: none
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const EventRow row = ReadEventRow(block, slots[i]);
    ++perSensorType[row.entry.sensorType];
    if (!IsNewEntry(row.entry)) continue;
    ++fresh;
    newestNew[row.entry.sensorType] = i + 1;
  }
  // Several codes share a name ("OEM", "Reserved"): counted per name, in name order.
  std::map<std::string, std::size_t> byType;
  for (std::size_t type = 0; type < 256; ++type) {
    if (perSensorType[type] != 0) byType[EventTypeName(uint8_t(type))] += perSensorType[type];
  }
  w.Family1(kEventsTotal, counters.appendCount);
  w.Family1(kHistoryEntries, double(slots.size()));
  w.Family1(kEventsNew, double(fresh));
  w.Header(kEventsByType);
  for (const auto& [type, count] : byType) w.Sample(kEventsByType, Label("type", type), SampleValue(double(count)));
  std::map<std::string, std::size_t> newestByName;  // the newest of the codes sharing a name
  for (std::size_t type = 0; type < 256; ++type) {
    if (newestNew[type] == 0) continue;
    std::size_t& newest = newestByName[EventTypeName(uint8_t(type))];
    if (newestNew[type] > newest) newest = newestNew[type];
  }
  // The ring holds the latest appends in order: the newest entry is the append count's and each
  // one before it one less, modulo 16 bits like the count.
  w.Header(kEventsLatestNew);
  for (const auto& [type, place] : newestByName) {
    const uint16_t sequence = uint16_t(counters.appendCount - (slots.size() - place));
    w.Sample(kEventsLatestNew, Label("type", type), SampleValue(sequence));
  }
}

}  // namespace

std::string LabelValue(std::string_view text) {
  return vigil::text::ValidUtf8With(text, [](std::string_view c, std::string* out) {
    if (c == "\\") {
      *out += "\\\\";
    } else if (c == "\"") {
      *out += "\\\"";
    } else if (c == "\n") {
      *out += "\\n";
    } else {
      return false;
    }
    return true;
  });
}

std::string SampleValue(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char text[32];
  // Readings are f32 in the block: printed as the shortest text of that float ("3.3", not
  // "3.2999999523").
  const float narrow = static_cast<float>(value);
  std::to_chars_result r = static_cast<double>(narrow) == value
                               ? std::to_chars(text, text + sizeof text, narrow)
                               : std::to_chars(text, text + sizeof text, value);
  return std::string(text, r.ptr);
}

std::string FormatMetrics(const MetricsSource& source) {
  std::string out;
  out.reserve(64 * 1024);
  Writer w(&out);
  if (source.block == nullptr) {
    w.Family1(kAgentUp, 0);
  } else {
    const BlockHeader header = ReadBlockHeader(source.block);
    WriteSensors(w, source.block);
    WriteEvents(w, source.block);
    if (source.logUtilization != kNoLogUtilization) w.Family1(kLogUtilization, source.logUtilization);
    w.Family1(kAgentUp, source.agentUp && header.startupComplete == 1 ? 1 : 0);
    w.Header(kAgentInfo);
    const PlatformIdentity& p = source.platform;
    w.Sample(kAgentInfo,
             Label("model", p.model) + "," + Label("manufacturer", p.manufacturer) + "," + Label("product", p.product) +
                 "," + Label("uuid", header.uuidSet ? UuidText(header.uuid) : ""),
             "1");
    w.Family1(kProtectiveShutdown, header.cpuOverTempShutdown != 0 ? 1 : 0);
  }
  if (source.refresh != RefreshOutcome::kNotAsked) {
    w.Family1(kRefreshSuccess, source.refresh == RefreshOutcome::kDone ? 1 : 0);
  }
  if (source.block != nullptr && source.refreshAgeSeconds >= 0) w.Family1(kRefreshAge, source.refreshAgeSeconds);
  return out;
}

}  // namespace vigilctl
