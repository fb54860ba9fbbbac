// What hwgate-linux offers on the device socket, as a PlatformSource: the served SMBIOS
// table, the current log snapshot, the live sensor bound to each probe, command 0x54.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "bounded_reads.h"
#include "live_sources.h"
#include "provider/platform_source.h"
#include "served_table.h"

namespace hwlinux {

struct ProviderStats {
  uint32_t tableReads = 0;
  uint32_t logExchanges = 0;
  uint32_t logRefreshes = 0;
  uint32_t sensorCommands = 0;
  uint32_t sourceReads = 0;    // SensorSource::ReadSensor calls
  uint32_t logFullAlerts = 0;  // commands 0x54
  uint32_t rejectedCalls = 0;
  uint32_t slowReads = 0;      // sensor reads answered "no reading" for want of time
  uint32_t failedRefreshes = 0;
};

// How long a sensor source may take for one reading before its client gets "no reading"
// (the agent gives up on an exchange after 10 s).
constexpr auto kSensorReadLimit = std::chrono::milliseconds(3000);

class Provider final : public hwgate::PlatformSource {
 public:
  // `log` may be null (no log served). The table and the log source must outlive the
  // provider. The snapshot starts as `initial` (what the start-up read). `readLimit` bounds
  // each sensor read.
  Provider(const ServedTable& table, LogSource* log, LogSnapshot initial,
           std::chrono::milliseconds readLimit = kSensorReadLimit);

  // Serves one device call (hwgate::Serve over this source), as frame_server.h's DeviceCall.
  // Any thread. The table is read without waiting, log reads wait only for each other, and
  // each sensor source is read on its own thread within a time limit (bounded_reads.h), so no
  // source is ever called from two threads at once and a hung one costs only its own answers.
  bool Serve(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength, uint32_t* returned);

  const uint8_t* Table() override;
  // Holds the log lock from a true return until LogDone().
  bool Log(hwgate::LogView* out) override;
  void LogDone() override;
  bool Sensor(uint16_t handle, hwgate::SensorView* out) override;
  void Alert() override;

  ProviderStats Stats();

 private:
  uint32_t Count(uint32_t ProviderStats::*counter);  // returns the new count
  // Called with logLock_ held.
  void RefreshLog();

  const ServedTable& table_;
  LogSource* log_;
  std::mutex logLock_;
  LogSnapshot snapshot_;
  std::chrono::steady_clock::time_point lastRefresh_{};
  // A source that fails is asked again after this long, doubled at each further failure (a
  // BMC still starting answers "busy" for a minute or more), and said again when it answers.
  std::chrono::milliseconds retryInterval_;
  uint32_t failuresInRow_ = 0;
  BoundedReads reads_;
  std::mutex statsLock_;
  ProviderStats stats_;
};


}  // namespace hwlinux
