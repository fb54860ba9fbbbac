// Reporting BIOS events to the system event log under the source "Vigil Agent".
#pragma once

#include <cstdint>

#include "agent/eventlog/event_fields.h"

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

}  // namespace vigil
