// What hwgate-linux answers on the device socket: the served SMBIOS table, log reads from the
// current log snapshot, command 0x51 from the live sensor bound to the probe, command 0x54.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "bounded_reads.h"
#include "live_sources.h"
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

class Provider {
 public:
  // `log` may be null (no log served). The table and the log source must outlive the
  // provider. The snapshot starts as `initial` (what the start-up read). `readLimit` bounds
  // each sensor read.
  Provider(const ServedTable& table, LogSource* log, LogSnapshot initial,
           std::chrono::milliseconds readLimit = kSensorReadLimit);

  // Serves one device call as device_frames.h's DeviceCall. Any thread. The table is read
  // without waiting, log reads wait only for each other, and each sensor source is read on
  // its own thread within a time limit (bounded_reads.h), so no source is ever called from
  // two threads at once and a hung one costs only its own answers.
  bool Serve(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength, uint32_t* returned);

  ProviderStats Stats();

 private:
  bool ReadSensor(uint8_t* block);
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


// Length of the prefix of `records` made of whole, well-formed records (length byte at least
// 2, nothing running past the end) and at most 0xFFFF bytes: what may be served.
size_t ServableLogLength(const std::vector<uint8_t>& records);

}  // namespace hwlinux
