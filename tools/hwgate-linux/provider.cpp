#include "provider.h"

#include <algorithm>
#include <iostream>

#include "contract/driver_protocol.h"
#include "contract/le_bytes.h"
#include "contract/smbios_types.h"
#include "core/event_log.h"
#include "core/sensor_answer.h"
#include "probe_structures.h"
#include "sensor_range.h"

namespace hwlinux {

namespace {

constexpr uint32_t kLogRequestSize = vigil::kLogReadRequestSize;
constexpr uint32_t kLogResponseSize = vigil::kLogReadRecordSize;
constexpr uint32_t kMaxLog = 0xFFFF;
// The agent's poll asks once and then continues within milliseconds; one source read serves
// the whole poll.
constexpr auto kRefreshInterval = std::chrono::milliseconds(1000);
constexpr auto kLongestRetryInterval = std::chrono::milliseconds(64000);

constexpr uint32_t kAlertsBetweenWarnings = 600;

}  // namespace

size_t ServableLogLength(const std::vector<uint8_t>& records) {
  size_t at = 0;
  while (at + 2 <= records.size()) {
    size_t length = vigil::LogRecordLength(records.data() + at);
    if (length < 2 || length > vigil::kLogDataCapacity || length > records.size() - at || at + length > kMaxLog) break;
    at += length;
  }
  return at;
}

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

bool Provider::ReadSensor(uint8_t* block) {
  const ServedProbe* probe = table_.FindProbe(vigil::le::Load16(block + vigil::kCommandArgumentOffset));
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
  const uint8_t* formatted = table_.Buffer().data() + probe->offset;
  // The location (or device type) bits of the structure stay; the status bits are live.
  uint8_t statusAt = probe->type == vigil::smbios::kTypeCoolingDevice ? kCoolingTypeStatusAt : kProbeLocationStatusAt;
  uint8_t status = static_cast<uint8_t>((formatted[statusAt] & ~kStatusMask) | StatusBits(reading));
  hwsim::AnswerSensorRead(block + vigil::kCommandResponseOffset, formatted, probe->length, probe->type,
                          status, RawReading(kind, reading));
  Count(&ProviderStats::sensorCommands);
  return true;
}

bool Provider::Serve(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength,
                     uint32_t* returned) {
  *returned = 0;
  bool ok = false;
  switch (code) {
    case vigil::kIoctlReadSmbiosTable:
      if (outLength < vigil::kSmbiosTableSize) break;
      std::copy(table_.Buffer().begin(), table_.Buffer().end(), buffer);
      *returned = vigil::kSmbiosTableSize;
      Count(&ProviderStats::tableReads);
      ok = true;
      break;
    case vigil::kIoctlReadEventLog: {
      if (log_ == nullptr || inLength < kLogRequestSize || outLength < kLogResponseSize) break;
      std::lock_guard<std::mutex> lock(logLock_);
      RefreshLog();
      size_t length = ServableLogLength(snapshot_.records);
      hwsim::AnswerLogReadFrom(snapshot_.records.data(), static_cast<uint32_t>(length), snapshot_.identity, buffer);
      *returned = kLogResponseSize;
      Count(&ProviderStats::logExchanges);
      ok = true;
      break;
    }
    case vigil::kIoctlDeviceCommand: {
      if (inLength < vigil::kCommandResponseOffset || outLength < vigil::kCommandBlockSize) break;
      uint16_t command = vigil::le::Load16(buffer + vigil::kCommandCodeOffset);
      if (command == vigil::kCommandReadSensor) {
        ok = ReadSensor(buffer);
      } else if (command == vigil::kCommandLogAlert) {
        const uint32_t alerts = Count(&ProviderStats::logFullAlerts);
        // The agent repeats the alert every poll while the log stays full: say it on the
        // first and then about hourly.
        if (alerts % kAlertsBetweenWarnings == 1) {
          std::cerr << "hwgate-linux: warning: the agent reports the BIOS event log more than 90% full ("
                    << alerts << " alerts so far)\n";
        }
        ok = true;
      }
      if (ok) *returned = vigil::kCommandBlockSize;
      break;
    }
    default:
      break;
  }
  if (!ok) Count(&ProviderStats::rejectedCalls);
  return ok;
}

uint32_t Provider::Count(uint32_t ProviderStats::*counter) {
  std::lock_guard<std::mutex> lock(statsLock_);
  return ++(stats_.*counter);
}

}  // namespace hwlinux
