#include "ipmi/sdr_sensor_source.h"

#include "ipmi/bmc_exchange.h"
#include "ipmi/ipmi_codes.h"
#include "ipmi/sdr_repository.h"

namespace hwlinux::ipmi {

namespace {

// Get Sensor Reading answer: raw reading, flags, threshold comparison status (which some BMCs
// leave out).
constexpr std::size_t kReadingSize = 2;
constexpr std::size_t kStatusAt = 2;
constexpr uint8_t kScanningEnabled = 0x40;
constexpr uint8_t kReadingUnavailable = 0x20;

}  // namespace

SdrSensorSource::SdrSensorSource(BmcTransport& transport)
    : transport_(transport), reader_(transport, kCmdReserveSdrRepository, kCmdGetSdr) {}

SdrSensorSource::SdrSensorSource(std::unique_ptr<BmcTransport> owned)
    : owned_(std::move(owned)), transport_(*owned_), reader_(*owned_, kCmdReserveSdrRepository, kCmdGetSdr) {}

int SdrSensorSource::Reload(const RepositoryInfo& info) {
  std::vector<std::vector<uint8_t>> records;
  if (ReadSdrRepository(reader_, info.count, &records, &problem_) != 0) return -1;
  sensors_.clear();
  for (const auto& record : records) {
    SdrSensor sensor;
    if (ParseSensorRecord(record.data(), record.size(), &sensor) && Find(sensor.live.key) == nullptr) {
      sensors_.push_back(sensor);
    }
  }
  cachedInfo_ = info;
  cached_ = true;
  return 0;
}

int SdrSensorSource::ListSensors(std::vector<LiveSensor>* out) {
  out->clear();
  RepositoryInfo info;
  uint8_t code = 0;
  if (GetRepositoryInfo(transport_, kCmdGetSdrRepositoryInfo, &info, &code) != 0) {
    problem_ = std::string("Get SDR Repository Info: ") +
               (code != kCcOk ? DescribeCompletionCode(code) : "no usable answer");
  } else if (!cached_ || info.lastAddTime != cachedInfo_.lastAddTime ||
             info.lastEraseTime != cachedInfo_.lastEraseTime ||
             info.count != cachedInfo_.count) {
    Reload(info);  // on failure the previous cache, if any, stands
  } else {
    problem_.clear();
  }
  if (!cached_) return -1;
  for (const SdrSensor& sensor : sensors_) out->push_back(sensor.live);
  return 0;
}

const SdrSensor* SdrSensorSource::Find(uint32_t key) const {
  for (const SdrSensor& sensor : sensors_) {
    if (sensor.live.key == key) return &sensor;
  }
  return nullptr;
}

int SdrSensorSource::ReadSensor(const LiveSensor& sensor, LiveReading* out) {
  *out = LiveReading{};
  const SdrSensor* known = Find(sensor.key);
  if (known == nullptr) return -1;
  return ReadSdrSensor(transport_, *known, out);
}

int ReadSdrSensor(BmcTransport& transport, const SdrSensor& sensor, LiveReading* out) {
  *out = LiveReading{};
  const uint8_t number = sensor.number;
  BmcRequest request;
  request.netFn = kNetFnSensorEvent;
  request.cmd = kCmdGetSensorReading;
  request.data = &number;
  request.length = 1;
  request.target = SensorTarget(sensor);
  BmcResponse response;
  if (Ask(transport, request, kReadingSize, &response) != AskResult::kOk) return -1;
  const uint8_t flags = response.data[1];
  if (!(flags & kScanningEnabled) || (flags & kReadingUnavailable)) return 0;
  if (!ConvertReading(sensor, response.data[0], &out->value)) return 0;
  out->valid = true;
  out->severity = response.length > kStatusAt ? SeverityFromThresholdStatus(response.data[kStatusAt])
                                              : Severity::kOk;
  return 0;
}

}  // namespace hwlinux::ipmi
