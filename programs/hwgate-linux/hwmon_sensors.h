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

// A configured conversion of a channel's pin value to the rail it measures: hwmon gives the
// voltage at the chip's pin, and the divider in front of it is the board's, known only to
// the administrator ("scale in1 \"12V\" 6.0" in the configuration file).
struct ChannelScale {
  std::string chip;     // chip name ("nct6775"), or "" for the channel on every chip
  std::string channel;  // "in1", "temp2", "fan3"
  std::string name;     // served name, replacing the label
  double factor = 1.0;
  double offset = 0.0;  // in volts, degrees Celsius or RPM, added after the factor
};

class HwmonSensors : public SensorSource {
 public:
  HwmonSensors(FileReader& files, std::string sysfsRoot, std::vector<ChannelScale> scales = {})
      : files_(files), root_(std::move(sysfsRoot)), scales_(std::move(scales)) {}

  // Lists the channels, sorted by device path, chip name and label so the list (and the
  // probe handles given to it) stays the same from boot to boot. Thresholds are read here
  // once. Returns 0 (an absent class directory is an empty list).
  int ListSensors(std::vector<LiveSensor>* out) override;
  // One read of the channel's *_input; the severity comes from the thresholds read when
  // listing, or, for a channel that exposes only alarm flags, from those flags. A channel the
  // driver marks failed (*_fault = 1) has no reading. A scaled channel's reading is the rail
  // value, with the pin value beside it.
  int ReadSensor(const LiveSensor& sensor, LiveReading* out) override;

 private:
  struct Channel {
    std::string prefix;  // directory + "/temp1" etc.
    SensorKind kind;
    bool hasThreshold[5] = {};
    int64_t threshold[5] = {};  // raw sysfs units: min, max, lcrit, crit, emergency
    bool alarmOnly = false;
    bool hasFaultFlag = false;
    const ChannelScale* scale = nullptr;
  };
  void AddDevice(const std::string& dir, std::vector<std::pair<std::string, Channel>>* found,
                 std::vector<LiveSensor>* sensors);

  FileReader& files_;
  std::string root_;
  std::vector<ChannelScale> scales_;
  std::vector<Channel> channels_;  // LiveSensor::key indexes this
};

// The value of a channel in the agent's units: temperature m°C to tenths of a degree
// (rounded), voltage mV and fan RPM unchanged, after the scale when one is given. False when
// the result does not fit 32 bits (any 64-bit input is safe).
bool HwmonToAgentUnits(SensorKind kind, int64_t raw, int32_t* value, const ChannelScale* scale = nullptr);

}  // namespace hwlinux
