#include "agent/eventlog/event_log_reader.h"

#include <cstddef>
#include <cstring>

#include "agent/eventlog/decoded_event.h"
#include "agent/eventlog/event_decoder.h"
#include "agent/eventlog/event_reporting.h"
#include "agent/eventlog/history_ring.h"
#include "agent/eventlog/utilization_alert.h"
#include "contract/block_layout.h"
#include "contract/driver_protocol.h"
#include "os/os.h"
#include "smbios/event_log_area.h"

namespace vigil {

namespace {

constexpr uint8_t kSensorTypeSystemLimit = 16;

// A tester replaying a log must know that the next step may power the machine off.
constexpr const char* kReplayShutdownText = "test_log.csv work, system will shutdown";
constexpr const char* kReplayShutdownCaption = "Shutdown";

// One record, one way: decoded into the event's ring entry, marked known or new, written to the
// ring whole, and a new one reported with the slot it went to.
void HandleRecord(const uint8_t* record, uint8_t length, bool isNew, LogPollResult* seen) {
  ++gEventLogReader.recordsSeen;
  if (DecodeEventRecord(record, length, &gEvent)) {
    seen->recentOverTemperature = true;
    if (gLogSource.replay) os::MessageBox(kReplayShutdownText, kReplayShutdownCaption, os::kMbOk);
  }
  // A record before the stored position was reported by an earlier poll or run. The entry
  // goes into the ring with its mark, so no client ever sees a known record as new.
  HistoryEntry& entry = gEvent.entry;
  entry.seen1 = entry.seen2 = isNew ? 0 : 1;
  const std::size_t slot = AppendHistoryEntry(entry);
  if (!isNew) return;
  gEventLogReader.newRecordReported = true;
  const uint16_t type = entry.sensorType == kSensorTypeSystemLimit ? os::kEventTypeInformation
                                                                    : os::kEventTypeWarning;
  EventFields fields;
  BuildBiosEventFields(gEvent, slot, &fields);
  gPollReports.Report(entry.text, type, kBiosEventCategory, &fields);
}

// A new first-record identity means the log was cleared or replaced: follow it from the
// position the driver named and rewrite the ring from slot 0. Returns whether it was.
bool CheckLogReset(const LogReadRecord& response, uint16_t requestedPosition) {
  EventLogReaderState& r = gEventLogReader;
  if (response.firstRecordTime == r.storedFirstRecordTime) return false;
  r.storedFirstRecordTime = response.firstRecordTime;
  r.recordsSeen = 0;
  RewindHistoryRing();
  // Asked from the old log's position, the driver answers from wherever that lies in the new
  // log: taking its position would pass every record before it as known, and they were never
  // reported. Only an answer to a request from 0 names where the new log's records begin.
  r.storedPosition = requestedPosition == 0 ? response.position : 0;
  return true;
}

// Walks the records of one response, advancing its position past each. False when a
// malformed record ended the walk. Replayed test-log lines are new each: the file is read
// once, line by line, and its positions say nothing about the BIOS log's.
bool WalkResponse(LogReadRecord* response, bool replay, LogPollResult* seen) {
  // The count is the driver's word: never walk past the data area it could fill.
  const uint32_t end = response->dataLength < kLogDataCapacity ? response->dataLength : kLogDataCapacity;
  uint32_t cursor = 0;
  while (cursor < end) {
    const uint32_t length = cursor + 1 < end ? LogRecordLength(response->data + cursor) : 0;
    if (length == 0 || length > end - cursor) {
      ++gEventLogReader.malformedRecords;
      return false;
    }
    HandleRecord(response->data + cursor, uint8_t(length),
                 replay || response->position >= gEventLogReader.storedPosition, seen);
    cursor += length;
    response->position = uint16_t(response->position + length);
  }
  return true;
}

void CompletePoll(uint16_t position) {
  EventLogReaderState& r = gEventLogReader;
  // The reports reach the log before the position that passes their records is saved: a crash
  // in between reports them again after the restart, never loses them.
  gPollReports.Close();
  r.storedPosition = position;
  // The in-memory position is what counts for this run; a registry that refuses the write
  // only costs duplicates after a restart.
  SaveLogPosition();
  r.logUtilization = smbios::LogUtilizationPercent(r.storedPosition, r.logDataSize);
  CheckLogUtilization();
}

// The test log stands in for the BIOS log for the whole run. Its lines are no part of the
// BIOS log, so the position and identity kept for the real log are neither compared with them
// nor changed nor saved: after the file is removed, the next run follows the real log from
// where the last real poll left it. A poll cut at the exchange limit just ends; the next
// one reads on from the next line.
void ReplayTestLog(LogPollResult* seen) {
  LogReadRecord record;
  std::memset(&record, 0, sizeof record);
  for (int exchanges = 0; exchanges < kMaxExchangesPerPoll; ++exchanges) {
    record.dataLength = kLogDataCapacity;
    if (gLogSource.exchange(&record) != 0) return;  // the file is exhausted
    WalkResponse(&record, true, seen);
  }
  ++gEventLogReader.exchangeLimitPolls;
}

// Follows the BIOS log from the stored position. Returns without completing the poll (nothing
// saved, no utilization judged) when an exchange fails or the exchange limit is reached.
void FollowLog(LogPollResult* seen) {
  EventLogReaderState& r = gEventLogReader;
  LogReadRecord record;
  std::memset(&record, 0, sizeof record);
  record.firstRecordTime = r.storedFirstRecordTime;
  record.position = r.recordsSeen != 0 ? r.storedPosition : 0;
  record.dataLength = kLogDataCapacity;
  uint16_t requested = record.position;
  if (gLogSource.exchange(&record) != 0) return;

  for (int exchanges = 1;; ++exchanges) {
    const bool reset = CheckLogReset(record, requested);
    // The records of a replaced log answered for the old position may not be its first ones:
    // read the new log from its beginning instead.
    const bool rereadFromStart = reset && requested != 0;
    if (!rereadFromStart) {
      if (!WalkResponse(&record, false, seen)) break;
      if (record.moreRecords == 0 || record.dataLength == 0) break;
    }
    if (exchanges >= kMaxExchangesPerPoll) {
      ++r.exchangeLimitPolls;
      // Not a completed poll: nothing is saved and no utilization judged. The next poll
      // carries on from the advanced position (still at the old log's position after a
      // reset, it reads from 0 instead).
      if (!rereadFromStart) r.storedPosition = record.position;
      return;
    }
    if (rereadFromStart) record.position = 0;
    record.dataLength = kLogDataCapacity;
    requested = record.position;
    // A failed continuation leaves the position where it was: this poll's records come again.
    if (gLogSource.exchange(&record) != 0) return;
  }
  CompletePoll(record.position);
}

}  // namespace

int SetUpEventLog(const uint8_t* structure, uint32_t length) {
  gEventLogReader.recordsSeen = 0;
  LoadLogPosition();
  uint16_t dataSize = 0;
  if (!smbios::FollowableLogDataSize(structure, length, &dataSize)) return -1;
  gEventLogReader.logDataSize = dataSize;
  return 0;
}

void DropEventLog() { gEventLogReader.logDataSize = 0; }

void UseLogRecordSource(const LogRecordSource& source) { gLogSource = source; }

LogPollResult PollEventLog() {
  LogPollResult seen{false, false};
  if (gEventLogReader.logDataSize != 0) {
    if (gLogSource.replay) {
      ReplayTestLog(&seen);
    } else {
      FollowLog(&seen);
    }
  }
  gPollReports.Close();
  seen.newRecordSinceStart = gEventLogReader.newRecordReported;
  return seen;
}

}  // namespace vigil
