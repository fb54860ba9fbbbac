#include "hwmon_sensors.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace hwlinux {

namespace {

struct KindPrefix {
  const char* prefix;
  SensorKind kind;
};
constexpr KindPrefix kKinds[] = {
    {"temp", SensorKind::kTemperature}, {"in", SensorKind::kVoltage}, {"fan", SensorKind::kFan}};

enum Threshold { kMin, kMax, kLowCritical, kCritical, kEmergency, kThresholdCount };
constexpr const char* kThresholdSuffix[kThresholdCount] = {"_min", "_max", "_lcrit", "_crit", "_emergency"};
constexpr const char* kAlarmSuffixes[] = {"_alarm", "_min_alarm", "_max_alarm"};
constexpr const char* kCriticalAlarmSuffixes[] = {"_crit_alarm", "_lcrit_alarm", "_emergency_alarm"};

// "temp12_input" -> ("temp12", kind); false for anything else.
bool ParseInputName(const std::string& name, std::string* channel, SensorKind* kind) {
  static const std::string kInput = "_input";
  if (name.size() <= kInput.size() || name.compare(name.size() - kInput.size(), kInput.size(), kInput) != 0) {
    return false;
  }
  std::string stem = name.substr(0, name.size() - kInput.size());
  for (const KindPrefix& k : kKinds) {
    std::string prefix = k.prefix;
    if (stem.size() > prefix.size() && stem.compare(0, prefix.size(), prefix) == 0 &&
        std::all_of(stem.begin() + static_cast<long>(prefix.size()), stem.end(), ::isdigit)) {
      *channel = stem;
      *kind = k.kind;
      return true;
    }
  }
  return false;
}

// The device a hwmon directory belongs to: the resolved path without its trailing
// "hwmon/hwmonN" (or "hwmonN"), relative to the sysfs root.
std::string DevicePath(FileReader& files, const std::string& root, const std::string& dir) {
  std::string path = files.Resolve(dir);
  if (path.empty()) path = dir;
  for (int i = 0; i < 2; ++i) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || path.compare(slash + 1, 5, "hwmon") != 0) break;
    path.resize(slash);
  }
  std::string resolvedRoot = files.Resolve(root);
  if (!resolvedRoot.empty() && path.compare(0, resolvedRoot.size(), resolvedRoot) == 0) {
    path = path.substr(resolvedRoot.size());
  }
  return path.empty() ? "/" : path;
}

bool AnyFlagSet(FileReader& files, const std::string& prefix, const char* const* suffixes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    int64_t flag = 0;
    if (ReadNumber(files, prefix + suffixes[i], &flag) == 0 && flag != 0) return true;
  }
  return false;
}

}  // namespace

bool HwmonToAgentUnits(SensorKind kind, int64_t raw, int32_t* value, const ChannelScale* scale) {
  // Sysfs units are thousandths for temperatures and voltages; the offset is in whole units.
  const double unit = kind == SensorKind::kFan ? 1.0 : 1000.0;
  double x = static_cast<double>(raw);
  if (scale != nullptr) x = x * scale->factor + scale->offset * unit;
  if (kind == SensorKind::kTemperature) x /= 100.0;  // tenths of a degree
  x = std::round(x);  // halves away from zero
  if (!(x >= static_cast<double>(INT32_MIN) && x <= static_cast<double>(INT32_MAX))) return false;
  *value = static_cast<int32_t>(x);
  return true;
}

void HwmonSensors::AddDevice(const std::string& dir, std::vector<std::pair<std::string, Channel>>* found,
                             std::vector<LiveSensor>* sensors) {
  std::string chip;
  if (ReadText(files_, dir + "/name", &chip) != 0) return;
  std::string device = DevicePath(files_, root_, dir);
  std::vector<std::string> names;
  if (files_.List(dir, &names) != 0) return;
  for (const std::string& name : names) {
    Channel channel;
    std::string stem;
    if (!ParseInputName(name, &stem, &channel.kind)) continue;
    channel.prefix = dir + "/" + stem;
    std::string label;
    if (ReadText(files_, channel.prefix + "_label", &label) != 0 || label.empty()) label = chip + " " + stem;
    for (const ChannelScale& scale : scales_) {
      if (scale.channel == stem && (scale.chip.empty() || scale.chip == chip)) {
        channel.scale = &scale;
        label = scale.name;
      }
    }
    int64_t fault = 0;
    channel.hasFaultFlag = ReadNumber(files_, channel.prefix + "_fault", &fault) == 0;
    for (int t = 0; t < kThresholdCount; ++t) {
      channel.hasThreshold[t] = ReadNumber(files_, channel.prefix + kThresholdSuffix[t], &channel.threshold[t]) == 0;
    }
    bool anyThreshold = std::any_of(std::begin(channel.hasThreshold), std::end(channel.hasThreshold), [](bool b) { return b; });
    channel.alarmOnly = !anyThreshold;
    LiveSensor sensor;
    sensor.kind = channel.kind;
    sensor.name = label;
    sensor.origin = "hwmon " + chip + " " + device;
    found->push_back({device + '\n' + chip + '\n' + label, channel});
    sensors->push_back(sensor);
  }
}

int HwmonSensors::ListSensors(std::vector<LiveSensor>* out) {
  out->clear();
  channels_.clear();
  std::string classDir = root_ + "/class/hwmon";
  std::vector<std::string> devices;
  if (files_.List(classDir, &devices) != 0) return 0;
  std::vector<std::pair<std::string, Channel>> found;
  std::vector<LiveSensor> sensors;
  for (const std::string& device : devices) AddDevice(classDir + "/" + device, &found, &sensors);
  std::vector<size_t> order(found.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return found[a].first < found[b].first; });
  for (size_t i : order) {
    LiveSensor sensor = sensors[i];
    sensor.key = static_cast<uint32_t>(channels_.size());
    channels_.push_back(found[i].second);
    out->push_back(sensor);
  }
  return 0;
}

int HwmonSensors::ReadSensor(const LiveSensor& sensor, LiveReading* out) {
  *out = LiveReading();
  if (sensor.key >= channels_.size()) return -1;
  const Channel& channel = channels_[sensor.key];
  int64_t fault = 0;
  if (channel.hasFaultFlag && ReadNumber(files_, channel.prefix + "_fault", &fault) == 0 && fault != 0) return 0;
  int64_t raw = 0;
  if (ReadNumber(files_, channel.prefix + "_input", &raw) != 0) return -1;
  if (!HwmonToAgentUnits(channel.kind, raw, &out->value, channel.scale)) return 0;
  if (channel.scale != nullptr) {
    out->scaled = true;
    if (!HwmonToAgentUnits(channel.kind, raw, &out->pinValue)) out->scaled = false;
  }
  out->valid = true;
  auto above = [&](int t) { return channel.hasThreshold[t] && raw >= channel.threshold[t]; };
  auto below = [&](int t) { return channel.hasThreshold[t] && raw <= channel.threshold[t]; };
  if (above(kEmergency)) {
    out->severity = Severity::kNonRecoverable;
  } else if (above(kCritical) || below(kLowCritical)) {
    out->severity = Severity::kCritical;
  } else if (above(kMax) || (channel.hasThreshold[kMin] && raw < channel.threshold[kMin])) {
    out->severity = Severity::kNonCritical;
  } else if (channel.alarmOnly) {
    if (AnyFlagSet(files_, channel.prefix, kCriticalAlarmSuffixes, std::size(kCriticalAlarmSuffixes))) {
      out->severity = Severity::kCritical;
    } else if (AnyFlagSet(files_, channel.prefix, kAlarmSuffixes, std::size(kAlarmSuffixes))) {
      out->severity = Severity::kNonCritical;
    }
  }
  return 0;
}

}  // namespace hwlinux
