// The hwmon sensor source: temperature, voltage and fan channels of every device under
// <sysfs>/class/hwmon/. Channels are keyed by device path, chip name and label, never by the
// hwmonN number, which the kernel hands out in probe order and may change at the next boot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_reader.h"
#include "live_sources.h"

namespace hwlinux {

class HwmonSensors : public SensorSource {
 public:
  HwmonSensors(FileReader& files, std::string sysfsRoot)
      : files_(files), root_(std::move(sysfsRoot)) {}

  // Lists the channels, sorted by device path, chip name and label so the list (and the
  // probe handles given to it) stays the same from boot to boot. Thresholds are read here
  // once. Returns 0 (an absent class directory is an empty list).
  int ListSensors(std::vector<LiveSensor>* out) override;
  // One read of the channel's *_input; the severity comes from the thresholds read when
  // listing, or, for a channel that exposes only alarm flags, from those flags.
  int ReadSensor(const LiveSensor& sensor, LiveReading* out) override;

 private:
  struct Channel {
    std::string prefix;  // directory + "/temp1" etc.
    SensorKind kind;
    bool hasThreshold[5] = {};
    int64_t threshold[5] = {};  // raw sysfs units: min, max, lcrit, crit, emergency
    bool alarmOnly = false;
  };
  void AddDevice(const std::string& dir, std::vector<std::pair<std::string, Channel>>* found,
                 std::vector<LiveSensor>* sensors);

  FileReader& files_;
  std::string root_;
  std::vector<Channel> channels_;  // LiveSensor::key indexes this
};

// The value of a channel in the agent's units: temperature m°C to tenths of a degree
// (rounded), voltage mV and fan RPM unchanged.
int32_t HwmonToAgentUnits(SensorKind kind, int64_t raw);

}  // namespace hwlinux
