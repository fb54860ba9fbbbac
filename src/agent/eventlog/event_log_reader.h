// Following the BIOS event log: position, polls, reset detection, utilization.
#pragma once

#include <cstdint>

#include "agent/eventlog/log_record_source.h"
#include "agent/state/agent_state.h"

namespace vigil {

struct EventLogReaderState {
  uint16_t logDataSize;            // 0: no log to follow
  uint16_t storedPosition;         // registry "offset"
  uint32_t storedFirstRecordTime;  // registry "first_log_time"
  uint16_t recordsSeen;
  int32_t logUtilization;
  // A record has been reported as new since the agent started; never cleared again.
  bool newRecordReported;
  // Diagnostics, never persisted: records of length 0 or running past the returned data
  // (each ends the walk of its response), and polls cut short at the exchange limit.
  uint32_t malformedRecords;
  uint32_t exchangeLimitPolls;
};

// A driver that answers "more records" for ever cannot hold a poll: after this many exchanges
// the poll ends where it stands, not completed (nothing saved, no utilization judged), and
// the next poll goes on from there. A full 64 KiB log takes about a thousand exchanges of
// whole records.
constexpr int kMaxExchangesPerPoll = 4096;

// What one poll saw that the protective shutdown decides by.
struct LogPollResult {
  // A recent CPU over-temperature event was among the records this poll decoded (new ones and
  // ones read again to refill the ring alike).
  bool recentOverTemperature;
  // Some record has been reported as new since the agent started, in this poll or before.
  bool newRecordSinceStart;
};

// Given the formatted area of a type-15 structure (`length` bytes available; bytes beyond it
// count as zero): loads the stored position and follows the log the structure describes when
// its access method is one the driver serves (otherwise the log followed so far stays).
// 0 when it follows the structure's log, -1 when the structure describes none it can follow.
// Service thread, start-up.
int SetUpEventLog(const uint8_t* structure, uint32_t length);
// No log to follow until SetUpEventLog finds one. Service thread, start-up.
void DropEventLog();
// Where the records come from from now on (the driver until the start-up says otherwise).
// Service thread, start-up.
void UseLogRecordSource(const LogRecordSource& source);
// Registry -> stored position and first-record time; 0 when both were read, else -1 and
// nothing changed.
int LoadLogPosition();
// Stored position and first-record time -> registry; 0 when both were written, else -1.
int SaveLogPosition();
// One poll of the log. Service thread.
//
// A record of length 0, or one that does not end inside the returned data, cannot be walked
// past: the response is then taken as complete at the last good record, so the stored
// position stays at the bad record and the next poll asks for it again (a driver that has
// recovered answers it; one that has not costs one exchange per poll and loses nothing).
// A cleared or replaced log noticed in the answer to a request from a non-zero position is
// read again from position 0 in the same poll, so that each of its records is reported.
// From a replaying source (the test log) every record is reported once, and the stored
// position and identity are left alone.
LogPollResult PollEventLog();

}  // namespace vigil
