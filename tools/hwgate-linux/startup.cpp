#include "startup.h"

#include "config_file.h"

namespace hwlinux {

namespace {

constexpr size_t kConfigLimit = 1 << 16;

}  // namespace

int PrepareStartup(const Options& options, FileReader& files, Startup* out, std::string* error) {
  std::vector<Binding> bindings;
  if (!options.configPath.empty()) {
    std::vector<uint8_t> bytes;
    if (files.ReadAll(options.configPath, kConfigLimit, &bytes) != 0) {
      *error = "cannot read " + options.configPath;
      return -1;
    }
    if (ParseConfig(std::string(bytes.begin(), bytes.end()), &bindings, error) != 0) {
      *error = options.configPath + ": " + *error;
      return -1;
    }
  }
  OpenSources(options, files, &out->sources, &out->lines);

  TableInput input;
  input.firmware = out->sources.firmware.get();
  input.bindings = bindings;
  for (auto& source : out->sources.sensors) {
    std::vector<LiveSensor> listed;
    source->ListSensors(&listed);
    for (LiveSensor& sensor : listed) input.sensors.push_back({std::move(sensor), source.get()});
  }
  if (input.sensors.empty()) out->lines.push_back("sensors: no live sensor found (no BMC sensors, no hwmon)");

  // The log's first read needs the probe handles (a translated record may name one) and the
  // table's type 15 needs the log's area length: build, read, build again. Handles do not
  // depend on the area length, so the records read stay true.
  LogSource* log = out->sources.log.get();
  input.logServed = log != nullptr;
  std::vector<std::string> ignored;
  out->table.Build(input, &ignored);
  if (log != nullptr && log->Refresh(out->table, &out->snapshot) != 0) {
    out->lines.push_back(std::string("event log ") + log->Name() + ": first read failed; none served");
    out->sources.log.reset();
    input.logServed = false;
  }
  input.logAreaLength = out->snapshot.areaLength;
  out->table.Build(input, &out->lines);
  return 0;
}

}  // namespace hwlinux
