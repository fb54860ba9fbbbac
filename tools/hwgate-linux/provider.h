// What hwgate-linux answers on the device socket: the served SMBIOS table, log reads from the
// current log snapshot, command 0x51 from the live sensor bound to the probe, command 0x54.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

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
};

class Provider {
 public:
  // `log` may be null (no log served). The table and the log source must outlive the
  // provider. The snapshot starts as `initial` (what the start-up read).
  Provider(const ServedTable& table, LogSource* log, LogSnapshot initial);

  // Serves one device call as device_frames.h's DeviceCall. Any thread; calls are serialised
  // here, so no source is ever called from two threads at once.
  bool Serve(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength, uint32_t* returned);

  ProviderStats Stats();

 private:
  bool ReadSensor(uint8_t* block);
  void RefreshLog();

  const ServedTable& table_;
  LogSource* log_;
  LogSnapshot snapshot_;
  std::chrono::steady_clock::time_point lastRefresh_{};
  ProviderStats stats_;
  std::mutex lock_;
};

// Length of the prefix of `records` made of whole, well-formed records (length byte at least
// 2, nothing running past the end) and at most 0xFFFF bytes: what may be served.
size_t ServableLogLength(const std::vector<uint8_t>& records);

}  // namespace hwlinux
