#include "agent/service/event_log_start.h"

#include "agent/eventlog/event_log_reader.h"
#include "agent/eventlog/log_record_source.h"
#include "agent/eventlog/test_log.h"
#include "agent/platform/smbios_parser.h"

namespace vigil {

void StartEventLogReader(const uint8_t* table, bool tableParsed) {
  // A file present at start replaces the BIOS log for the whole run; the driver never sees a
  // log request then.
  gTestLog.Open();
  UseLogRecordSource(gTestLog.IsActive() ? TestLogRecords() : DriverLogRecords());
  if (!tableParsed) return;
  DropEventLog();
  // Each structure in table order, as firmware lists them: a later usable one wins.
  const uint32_t count = gInventory.eventLogCount < kMaxStructuresPerTable
                             ? gInventory.eventLogCount
                             : uint32_t(kMaxStructuresPerTable);
  for (uint32_t i = 0; i < count; ++i) {
    const StructurePlace& place = gInventory.eventLogs[i];
    SetUpEventLog(table + place.offset, place.length);
  }
}

}  // namespace vigil
