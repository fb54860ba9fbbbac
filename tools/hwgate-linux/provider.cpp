#include "provider.h"

#include <iostream>

#include "contract/driver_protocol.h"
#include "contract/le_bytes.h"
#include "contract/smbios_types.h"
#include "core/event_log.h"
#include "core/sensor_answer.h"
#include "probe_structures.h"

namespace hwlinux {

namespace {

constexpr uint32_t kLogRequestSize = vigil::kLogReadRequestSize;
constexpr uint32_t kLogResponseSize = vigil::kLogReadRecordSize;
constexpr uint32_t kMaxLog = 0xFFFF;
// The agent's poll asks once and then continues within milliseconds; one source read serves
// the whole poll.
constexpr auto kRefreshInterval = std::chrono::milliseconds(1000);

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

Provider::Provider(const ServedTable& table, LogSource* log, LogSnapshot initial)
    : table_(table), log_(log), snapshot_(std::move(initial)), lastRefresh_(std::chrono::steady_clock::now()) {}

ProviderStats Provider::Stats() {
  std::lock_guard<std::mutex> lock(lock_);
  return stats_;
}

void Provider::RefreshLog() {
  auto now = std::chrono::steady_clock::now();
  if (log_ == nullptr || now - lastRefresh_ < kRefreshInterval) return;
  lastRefresh_ = now;
  ++stats_.logRefreshes;
  log_->Refresh(table_, &snapshot_);  // a failure keeps the snapshot as last read
}

bool Provider::ReadSensor(uint8_t* block) {
  const ServedProbe* probe = table_.FindProbe(vigil::le::Load16(block + vigil::kCommandArgumentOffset));
  if (probe == nullptr) return false;
  LiveReading reading;
  SensorKind kind = SensorKind::kTemperature;
  if (probe->sensor >= 0) {
    const SensorInput& input = table_.Sensors()[static_cast<size_t>(probe->sensor)];
    kind = input.sensor.kind;
    ++stats_.sourceReads;
    if (input.source->ReadSensor(input.sensor, &reading) != 0) reading = LiveReading();
  }
  const uint8_t* formatted = table_.Buffer().data() + probe->offset;
  // The location (or device type) bits of the structure stay; the status bits are live.
  uint8_t statusAt = probe->type == vigil::smbios::kTypeCoolingDevice ? kCoolingTypeStatusAt : kProbeLocationStatusAt;
  uint8_t status = static_cast<uint8_t>((formatted[statusAt] & ~kStatusMask) | StatusBits(reading));
  hwsim::AnswerSensorRead(block + vigil::kCommandResponseOffset, formatted, probe->length, probe->type,
                          status, RawReading(kind, reading));
  ++stats_.sensorCommands;
  return true;
}

bool Provider::Serve(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength,
                     uint32_t* returned) {
  std::lock_guard<std::mutex> lock(lock_);
  *returned = 0;
  bool ok = false;
  switch (code) {
    case vigil::kIoctlReadSmbiosTable:
      if (outLength < vigil::kSmbiosTableSize) break;
      std::copy(table_.Buffer().begin(), table_.Buffer().end(), buffer);
      *returned = vigil::kSmbiosTableSize;
      ++stats_.tableReads;
      ok = true;
      break;
    case vigil::kIoctlReadEventLog: {
      if (log_ == nullptr || inLength < kLogRequestSize || outLength < kLogResponseSize) break;
      RefreshLog();
      size_t length = ServableLogLength(snapshot_.records);
      hwsim::AnswerLogReadFrom(snapshot_.records.data(), static_cast<uint32_t>(length), snapshot_.identity, buffer);
      *returned = kLogResponseSize;
      ++stats_.logExchanges;
      ok = true;
      break;
    }
    case vigil::kIoctlDeviceCommand: {
      if (inLength < vigil::kCommandResponseOffset || outLength < vigil::kCommandBlockSize) break;
      uint16_t command = vigil::le::Load16(buffer + vigil::kCommandCodeOffset);
      if (command == vigil::kCommandReadSensor) {
        ok = ReadSensor(buffer);
      } else if (command == vigil::kCommandLogAlert) {
        ++stats_.logFullAlerts;
        // The agent repeats the alert every poll while the log stays full: say it on the
        // first and then about hourly.
        if (stats_.logFullAlerts % kAlertsBetweenWarnings == 1) {
          std::cerr << "hwgate-linux: warning: the agent reports the BIOS event log more than 90% full ("
                    << stats_.logFullAlerts << " alerts so far)\n";
        }
        ok = true;
      }
      if (ok) *returned = vigil::kCommandBlockSize;
      break;
    }
    default:
      break;
  }
  if (!ok) ++stats_.rejectedCalls;
  return ok;
}

}  // namespace hwlinux
