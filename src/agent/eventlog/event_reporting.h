// Reporting BIOS events to the system event log under the source "Vigil Agent".
#pragma once

#include <cstdint>

#include "agent/eventlog/event_fields.h"
#include "os/os.h"

namespace vigil {

constexpr const char* kEventSourceName = "Vigil Agent";
constexpr uint32_t kBiosEventId = 100;
constexpr uint16_t kBiosEventCategory = 1;

// Writes the five registration values at every service start. Service thread.
void InstallEventSource();
// One report (event id 100) with `text` as its insertion string and, where the log keeps
// them, the structured `fields` (may be null). Nothing is retried. Service thread.
void ReportSystemEvent(const char* source, const char* text, uint16_t type, uint16_t category,
                       const EventFields* fields = nullptr);

// A run of reports under one source through one event log handle, opened at the first report:
// the log's set-up is paid once per run, and where the log buffers (the POSIX events.log) the
// run's reports are all written by Close(). Service thread.
class SystemEventReports {
 public:
  explicit SystemEventReports(const char* source) : source_(source) {}
  ~SystemEventReports() { Close(); }
  SystemEventReports(const SystemEventReports&) = delete;
  SystemEventReports& operator=(const SystemEventReports&) = delete;

  // As ReportSystemEvent.
  void Report(const char* text, uint16_t type, uint16_t category, const EventFields* fields = nullptr);
  // Every report so far has reached the log; the next one opens the handle again.
  void Close();

 private:
  const char* source_;
  os::Handle handle_ = nullptr;
};

}  // namespace vigil
