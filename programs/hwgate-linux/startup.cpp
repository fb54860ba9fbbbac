#include "startup.h"

#include "config_file.h"
#include "sensor_range.h"

namespace hwlinux {

namespace {

constexpr size_t kConfigLimit = 1 << 16;

// Thermal margins count degrees below a limit and read negative; the temperature the agent
// reads is an unsigned count of tenths, so a margin would be served as a wrong number (0.0).
// They are left out and named instead.
void LeaveOutMargins(std::vector<SensorInput>* sensors, std::vector<std::string>* lines) {
  std::string names;
  size_t count = 0;
  for (auto it = sensors->begin(); it != sensors->end();) {
    if (!IsThermalMargin(it->sensor)) {
      ++it;
      continue;
    }
    names += (count++ == 0 ? "" : ", ") + it->sensor.name;
    it = sensors->erase(it);
  }
  if (count != 0) {
    lines->push_back("sensors: left out " + std::to_string(count) +
                     " thermal margins (negative degrees below a limit, which the served "
                     "temperature format cannot carry): " + names);
  }
}

}  // namespace

int PrepareStartup(const Options& options, FileReader& files, Startup* out, std::string* error) {
  Config config;
  if (!options.configPath.empty()) {
    std::vector<uint8_t> bytes;
    if (files.ReadAll(options.configPath, kConfigLimit, &bytes) != 0) {
      *error = "cannot read " + options.configPath;
      return -1;
    }
    if (ParseConfig(std::string(bytes.begin(), bytes.end()), &config, error) != 0) {
      *error = options.configPath + ": " + *error;
      return -1;
    }
  }
  OpenSources(options, files, config.scales, &out->sources, &out->lines);

  TableInput input;
  input.firmware = out->sources.firmware.get();
  input.bindings = config.bindings;
  for (auto& source : out->sources.sensors) {
    std::vector<LiveSensor> listed;
    source->ListSensors(&listed);
    for (LiveSensor& sensor : listed) input.sensors.push_back({std::move(sensor), source.get()});
  }
  LeaveOutMargins(&input.sensors, &out->lines);
  if (input.sensors.empty()) out->lines.push_back("sensors: no live sensor found (no BMC sensors, no hwmon)");

  // The log's first read needs the probe handles (a translated record may name one) and the
  // table's type 15 needs the log's area length: build, read, build again. Handles do not
  // depend on the area length, so the records read stay true.
  LogSource* log = out->sources.log.get();
  input.logServed = log != nullptr;
  std::vector<std::string> ignored;
  out->table.Build(input, &ignored);
  if (log != nullptr && log->Refresh(out->table, &out->snapshot) != 0) {
    // A BMC still starting after a power cycle answers "busy" for a while: the log is served
    // empty now and filled once the source answers (the provider retries at each poll).
    out->lines.push_back(std::string("event log ") + log->Name() +
                         ": first read failed; served empty until the source answers");
    out->snapshot.areaLength = kUnknownLogArea;
  }
  input.logAreaLength = out->snapshot.areaLength;
  out->table.Build(input, &out->lines);
  return 0;
}

}  // namespace hwlinux
