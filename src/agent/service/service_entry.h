// Service entry and control: the process entry, the service main function, the control handler.
#pragma once

#include <cstdint>

#include "os/os.h"
#include "agent/state/agent_state.h"

namespace vigil {

constexpr const char* kServiceName = "Vigilagent";

// Process entry: runs the dispatcher. Returns the process exit code (1 when the dispatcher
// could not start, after the "ERROR: StartServiceCtrlDispatcher" box).
int ServiceProcessEntry();
// Service main function (argc/argv ignored). Service thread.
void ServiceMain(uint32_t argc, char** argv);
// Control handler. Main thread (inside the dispatcher).
void ServiceCtrlHandler(uint32_t control);
// Status initialisation: START_PENDING, stop event, RUNNING. 0, or -1 without a stop event.
int InitServiceStatus();
// Sets the current state and reports the status record.
void ReportServiceState(uint32_t state);
// The current state as another thread reads it (the request thread looks for STOP_PENDING).
uint32_t CurrentServiceState();

// Signals may bring controls at any moment, also while the service thread tears down. Once
// closed, the handler ignores every control, so it never touches the block, the stop event or
// the status record again. Close waits (bounded) for a handler call in progress; it returns 0,
// or -1 when that call did not finish in time. Service thread.
constexpr uint32_t kControlDrainTimeoutMs = 30000;
int CloseControlHandling();
void OpenControlHandling();

}  // namespace vigil
