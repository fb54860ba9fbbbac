// The structured fields that travel with each system event report, for log pipelines that
// filter on them (the journal on Linux; the events.log JSON line).
#pragma once

#include <cstddef>
#include <cstdint>

#include "agent/eventlog/decoded_event.h"
#include "os/os.h"

namespace vigil {

// Fixed MESSAGE_IDs (128-bit, journal style): one for every BIOS event, one for the log
// utilization warning, so that a pipeline finds either kind whatever the text.
constexpr const char* kBiosEventMessageId = "8d4c1a7e2b6f4f0a9c35e1d7b0a26f41";
constexpr const char* kUtilizationMessageId = "3f9e6b20c4d84a7d8e1b5a6c72d0e9b3";

// Fields plus the storage of their values; valid while the object lives. Not copyable: the
// field array points into the object itself.
class EventFields {
 public:
  EventFields() = default;
  EventFields(const EventFields&) = delete;
  EventFields& operator=(const EventFields&) = delete;

  const os::EventField* data() const { return fields_; }
  std::size_t size() const { return count_; }
  // Adds NAME=value (value copied, cut to the field's room). Dropped when all are in use.
  void Add(const char* name, const char* value);
  void AddNumber(const char* name, long value);

 private:
  static constexpr std::size_t kMaxFields = 8;
  static constexpr std::size_t kValueSize = 64;
  os::EventField fields_[kMaxFields] = {};
  char values_[kMaxFields][kValueSize] = {};
  std::size_t count_ = 0;
};

// MESSAGE_ID, VIGIL_RECORD_TYPE, VIGIL_SENSOR_TYPE, VIGIL_EVENT_TYPE (event/reading type),
// VIGIL_EVENT_TIME (ISO 8601, UTC; left out when the record's time is unknown),
// VIGIL_LOCATOR (when the event names one) and VIGIL_RING_INDEX (the history slot).
void BuildBiosEventFields(const DecodedEvent& event, std::size_t ringSlot, EventFields* fields);
// MESSAGE_ID and VIGIL_LOG_UTILIZATION (per cent).
void BuildUtilizationFields(int32_t utilization, EventFields* fields);

}  // namespace vigil
