// Protective shutdown on a recent CPU over-temperature event.
#pragma once

#include "agent/eventlog/event_log_reader.h"

namespace vigil {

constexpr const char* kOverTempShutdownMessage = "CPU temperature is too high!";

// Poll step 3, given what the poll just saw: powers off when the block's "CPUOverTempShoutdown"
// is non-zero, the poll decoded a recent CPU over-temperature event and some record has been
// reported as new since start-up (in this poll or an earlier one). Service thread.
void CheckShutdownTrigger(const LogPollResult& poll);

}  // namespace vigil
