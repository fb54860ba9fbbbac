// The client request channel: "NVX_CFG_EVENT" / "NVX_SENSOR_READY_EVENT" and the request thread
// that dispatches a request (sensor refresh, save parameters) and ends with the service state.
#pragma once

#include "contract/block_layout.h"
#include "os/os.h"
#include "agent/state/agent_state.h"

namespace vigil {

// Creates the named event with world access, or opens an existing one with EVENT_ALL_ACCESS.
os::Handle CreateOrOpenEvent(const char* name);

// Main cycle step 3: request event, then the request thread, then the reply event.
void StartRequestChannel();

// How long teardown waits for the request thread to leave (a sensor refresh in progress is
// allowed to finish).
constexpr uint32_t kRequestThreadStopTimeoutMs = 30000;

// Ends the request thread before teardown releases what it uses. Returns 0 once the thread has
// left (or never ran): it then touches neither the block nor the event handles again. Returns
// -1 when it is still busy after kRequestThreadStopTimeoutMs; the caller must then leave the
// block, the driver handle and the events alone. Service thread.
int StopRequestChannel();

// Teardown steps 3 and 4: closes the request event, then the reply event. Only after
// StopRequestChannel returned 0.
void CloseRequestEvents();

// True while the request thread runs (tests observe its ending).
bool RequestThreadRunning();

}  // namespace vigil
