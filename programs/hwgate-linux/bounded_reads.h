// Sensor reads with a time limit. Each source is read on a thread of its own, one read at a
// time, so a read that hangs (a hung I2C bus under a hwmon file, a BMC that stopped
// answering) costs only the answers of that source, as "no reading", and never the table,
// the log or the other sources' clients.
//
// Threads: Read may be called from any thread; the source is then called only from its own
// reading thread.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>

#include "live_sources.h"

namespace hwlinux {

class BoundedReads {
 public:
  explicit BoundedReads(std::chrono::milliseconds limit) : limit_(limit) {}
  // Ends the reading threads; one still stuck in a read is left to the end of the process.
  ~BoundedReads();
  BoundedReads(const BoundedReads&) = delete;
  BoundedReads& operator=(const BoundedReads&) = delete;

  // Reads `sensor` of `source` (which must outlive this object) within the limit, counting
  // the wait for an earlier read of the same source. Returns the source's result, or -1 with
  // no reading when the limit passed (the late answer is dropped).
  int Read(SensorSource* source, const LiveSensor& sensor, LiveReading* out);

  uint32_t timedOut() const;

 private:
  struct Worker;
  static void Loop(std::shared_ptr<Worker> worker, SensorSource* source);

  std::chrono::milliseconds limit_;
  mutable std::mutex lock_;
  std::map<SensorSource*, std::shared_ptr<Worker>> workers_;
  uint32_t timedOut_ = 0;
};

}  // namespace hwlinux
