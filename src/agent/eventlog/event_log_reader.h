// Following the BIOS event log: position, polls, reset detection, utilization.
#pragma once

#include <cstdint>

namespace vigil {

struct EventLogReaderState {
  uint16_t logDataSize;            // 0: no log to follow
  uint16_t storedPosition;         // registry "offset"
  uint32_t storedFirstRecordTime;  // registry "first_log_time"
  uint16_t recordsSeen;
  int32_t logUtilization;
  // Diagnostics, never persisted: records of length 0 or running past the returned data
  // (each ends the walk of its response), and polls cut short at the exchange limit.
  uint32_t malformedRecords;
  uint32_t exchangeLimitPolls;
};
extern EventLogReaderState gEventLogReader;

// A driver that answers "more records" for ever cannot hold a poll: after this many exchanges
// the poll ends where it stands, not completed (nothing saved, no utilization judged), and
// the next poll goes on from there. A full 64 KiB log takes about a thousand exchanges of
// whole records.
constexpr int kMaxExchangesPerPoll = 4096;

// Given the formatted area of a type-15 structure (`length` bytes available; bytes beyond it
// count as zero). Returns 0. Service thread, start-up.
int SetUpEventLog(const uint8_t* structure, uint32_t length);
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
// While the test log is active its lines are replayed instead, each reported once, and the
// stored position and identity are left alone.
void PollEventLog();

}  // namespace vigil
