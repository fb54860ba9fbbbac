// Where the event log reader's records come from: the BIOS log through the driver, or the test
// log replayed in its place. The start-up chooses once; the reader never asks again.
#pragma once

#include "contract/driver_protocol.h"

namespace vigil {

struct LogRecordSource {
  // One exchange in place (the request in, the answer out): 0 when `record` holds an answer,
  // -1 when none came (for a replay: the lines are exhausted). Service thread.
  int (*exchange)(LogReadRecord* record);
  // Replayed records stand in for the BIOS log: each is new, and their positions and identity
  // say nothing about the real log's, whose stored position is therefore left alone.
  bool replay;
};

// The BIOS log through the driver channel.
LogRecordSource DriverLogRecords();
// The lines of the test log (gTestLog).
LogRecordSource TestLogRecords();

}  // namespace vigil
