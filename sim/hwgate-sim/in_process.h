// The simulated platform inside the calling process, for tests and benchmarks: after
// AttachInProcess, the agent's own channel code (os::OpenDevice("\\\\.\\HwGate") and
// os::DeviceIoControl) reaches `core` directly, with no daemon and no socket.
#pragma once

#include <mutex>
#include <string>

#include "core/core.h"
#include "core/event_log.h"
#include "scenario/scenario_loader.h"

namespace hwsim {

// Puts `core` behind \\.\HwGate for this process. Register before the agent opens the device.
void AttachInProcess(Core* core);
// Takes it away again; later device calls fail as for an absent driver.
void DetachInProcess();

// Device calls are served under this lock. Hold it to change an attached core (SetSensor,
// AppendLogRecord, ...) while agent threads may be using it.
std::mutex& InProcessLock();

}  // namespace hwsim
