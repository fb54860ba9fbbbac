// The provider's configuration file: explicit bindings of firmware probes to live sensors,
// for machines whose firmware descriptions do not name the sensors they describe, and scales
// of hwmon channels, whose values are what the chip's pin sees, not the rail behind a divider.
//
//   # comment
//   bind 0x0030 CPU1 Temp        firmware structure 0x0030 shows the live sensor "CPU1 Temp"
//   scale in1 "12V" 6.0          hwmon channel in1 (every chip) served as "12V", pin value x 6
//   scale nct6775/in2 "5V" 2 0.1 only nct6775's in2; x 2, then + 0.1 V
#pragma once

#include <string>
#include <vector>

#include "hwmon_sensors.h"
#include "served_table.h"

namespace hwlinux {

struct Config {
  std::vector<Binding> bindings;
  std::vector<ChannelScale> scales;
};

// Parses the text. Returns 0, or -1 with *error naming the line at fault.
int ParseConfig(const std::string& text, Config* config, std::string* error);

}  // namespace hwlinux
