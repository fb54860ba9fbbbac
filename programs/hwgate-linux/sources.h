// Opening the machine's sources as the options ask. This is where every source plugs in: the
// firmware table, the log sources in `auto` order (smbios, then ipmi), and the sensor sources
// (IPMI, then hwmon).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "file_reader.h"
#include "firmware_table.h"
#include "hwmon_sensors.h"
#include "live_sources.h"
#include "options.h"

namespace hwlinux {

struct Sources {
  std::unique_ptr<FirmwareTable> firmware;  // null when the tables cannot be read
  std::unique_ptr<LogSource> log;           // null: no log served
  std::vector<std::unique_ptr<SensorSource>> sensors;
};

// Opens what is there. Each missing or unusable source adds one line to *diagnoses; nothing
// here fails the start. `scales` go to the hwmon source. Called once, on the main thread.
void OpenSources(const Options& options, FileReader& files, const std::vector<ChannelScale>& scales,
                 Sources* out, std::vector<std::string>* diagnoses);

// The BMC's sources on `device` (<dev-root>/ipmi0, present). Null with a one-line *diagnosis
// when the BMC cannot serve them.
std::unique_ptr<LogSource> OpenIpmiLog(const std::string& device, std::string* diagnosis);
std::unique_ptr<SensorSource> OpenIpmiSensors(const std::string& device, std::string* diagnosis);

}  // namespace hwlinux
