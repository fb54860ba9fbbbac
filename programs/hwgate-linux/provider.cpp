#include "provider.h"

#include <algorithm>
#include <iostream>

#include "contract/smbios_types.h"
#include "probe_structures.h"
#include "provider/serve.h"
#include "sensor_range.h"

namespace hwlinux {

namespace {

// Log positions are 16-bit on the wire: nothing past them can be served.
constexpr size_t kMaxLog = 0xFFFF;
// The agent's poll asks once and then continues within milliseconds; one source read serves
// the whole poll.
constexpr auto kRefreshInterval = std::chrono::milliseconds(1000);
constexpr auto kLongestRetryInterval = std::chrono::milliseconds(64000);

constexpr uint32_t kAlertsBetweenWarnings = 600;

}  // namespace

Provider::Provider(const ServedTable& table, LogSource* log, LogSnapshot initial,
                   std::chrono::milliseconds readLimit)
    : table_(table),
      log_(log),
      snapshot_(std::move(initial)),
      lastRefresh_(std::chrono::steady_clock::now()),
      retryInterval_(kRefreshInterval),
      reads_(readLimit) {}

ProviderStats Provider::Stats() {
  std::lock_guard<std::mutex> lock(statsLock_);
  ProviderStats stats = stats_;
  stats.slowReads = reads_.timedOut();
  return stats;
}

void Provider::RefreshLog() {
  auto now = std::chrono::steady_clock::now();
  if (log_ == nullptr || now - lastRefresh_ < retryInterval_) return;
  lastRefresh_ = now;
  // A failure keeps the snapshot as last read.
  const bool ok = log_->Refresh(table_, &snapshot_) == 0;
  if (ok && failuresInRow_ != 0) {
    std::cerr << "hwgate-linux: event log " << log_->Name() << " answers again after " << failuresInRow_
              << " failed reads\n";
  } else if (!ok && failuresInRow_ == 0) {
    std::cerr << "hwgate-linux: event log " << log_->Name()
              << " cannot be read; asked again after 1 s, then at doubling intervals up to 64 s\n";
  }
  failuresInRow_ = ok ? 0 : failuresInRow_ + 1;
  retryInterval_ = ok ? kRefreshInterval : std::min(retryInterval_ * 2, kLongestRetryInterval);
  std::lock_guard<std::mutex> lock(statsLock_);
  ++stats_.logRefreshes;
  if (!ok) ++stats_.failedRefreshes;
}

const uint8_t* Provider::Table() {
  Count(&ProviderStats::tableReads);
  return table_.Buffer().data();
}

bool Provider::Log(hwgate::LogView* out) {
  if (log_ == nullptr) return false;
  logLock_.lock();
  RefreshLog();
  *out = {snapshot_.records.data(), static_cast<uint32_t>(std::min<size_t>(snapshot_.records.size(), kMaxLog)),
          snapshot_.identity};
  Count(&ProviderStats::logExchanges);
  return true;
}

void Provider::LogDone() { logLock_.unlock(); }

bool Provider::Sensor(uint16_t handle, hwgate::SensorView* out) {
  const ServedProbe* probe = table_.FindProbe(handle);
  if (probe == nullptr) return false;
  LiveReading reading;
  SensorKind kind = SensorKind::kTemperature;
  if (probe->sensor >= 0) {
    const SensorInput& input = table_.Sensors()[static_cast<size_t>(probe->sensor)];
    kind = input.sensor.kind;
    if (reads_.Read(input.source, input.sensor, &reading) != 0) reading = LiveReading();
    KeepServable(kind, &reading);
    Count(&ProviderStats::sourceReads);
  }
  const uint8_t* structure = table_.Buffer().data() + probe->offset;
  // The location (or device type) bits of the structure stay; the status bits are live.
  uint8_t statusAt = probe->type == vigil::smbios::kTypeCoolingDevice ? vigil::smbios::kCoolingTypeStatusField : vigil::smbios::kProbeLocationStatusField;
  uint8_t status = static_cast<uint8_t>((structure[statusAt] & ~vigil::smbios::kStatusMask) | StatusBits(reading));
  *out = {structure, probe->length, probe->type, status, RawReading(kind, reading)};
  Count(&ProviderStats::sensorCommands);
  return true;
}

void Provider::Alert() {
  const uint32_t alerts = Count(&ProviderStats::logFullAlerts);
  // The agent repeats the alert every poll while the log stays full: say it on the first and
  // then about hourly.
  if (alerts % kAlertsBetweenWarnings == 1) {
    std::cerr << "hwgate-linux: warning: the agent reports the BIOS event log more than 90% full (" << alerts
              << " alerts so far)\n";
  }
}

bool Provider::Serve(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength, uint32_t* returned) {
  const bool ok = hwgate::Serve(*this, code, buffer, inLength, outLength, returned);
  if (!ok) Count(&ProviderStats::rejectedCalls);
  return ok;
}

uint32_t Provider::Count(uint32_t ProviderStats::*counter) {
  std::lock_guard<std::mutex> lock(statsLock_);
  return ++(stats_.*counter);
}

}  // namespace hwlinux
