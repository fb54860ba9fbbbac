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
};
extern EventLogReaderState gEventLogReader;

// Given the formatted area of a type-15 structure (`length` bytes available). Returns 0.
int SetUpEventLog(const uint8_t* structure, uint32_t length);
int LoadLogPosition();
int SaveLogPosition();
// One poll of the log. Service thread.
void PollEventLog();

}  // namespace vigil
