#include "agent/eventlog/event_fields.h"

#include <cstdio>
#include <ctime>

#include "agent/eventlog/bounded_text.h"

namespace vigil {

void EventFields::Add(const char* name, const char* value) {
  if (count_ >= kMaxFields) return;
  char* stored = values_[count_];
  stored[0] = '\0';
  AppendBoundedText(stored, kValueSize, value);
  fields_[count_] = {name, stored};
  ++count_;
}

void EventFields::AddNumber(const char* name, long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%ld", value);
  Add(name, text);
}

void BuildBiosEventFields(const DecodedEvent& event, std::size_t ringSlot, EventFields* fields) {
  fields->Add("MESSAGE_ID", kBiosEventMessageId);
  const HistoryEntry& entry = event.entry;
  fields->AddNumber("VIGIL_RECORD_TYPE", entry.recordType);
  fields->AddNumber("VIGIL_SENSOR_TYPE", entry.sensorType);
  fields->AddNumber("VIGIL_EVENT_TYPE", entry.eventReadingType);
  // 0 is an unknown time: no log record is dated 1970.
  if (entry.time > 0) {
    // The record's time is a calendar time (UTC); the report thread is the only caller.
    const std::time_t t = entry.time;
    const std::tm* utc = std::gmtime(&t);
    char text[32];
    if (utc != nullptr && std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc) != 0) {
      fields->Add("VIGIL_EVENT_TIME", text);
    }
  }
  if (event.locator[0] != '\0') fields->Add("VIGIL_LOCATOR", event.locator);
  fields->AddNumber("VIGIL_RING_INDEX", long(ringSlot));
}

void BuildUtilizationFields(int32_t utilization, EventFields* fields) {
  fields->Add("MESSAGE_ID", kUtilizationMessageId);
  fields->AddNumber("VIGIL_LOG_UTILIZATION", utilization);
}

}  // namespace vigil
