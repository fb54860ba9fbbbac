// The client request channel: "NVX_CFG_EVENT" / "NVX_SENSOR_READY_EVENT" and the request thread.
#pragma once

#include "os/os.h"

namespace vigil {

constexpr const char* kRequestEventName = "NVX_CFG_EVENT";
constexpr const char* kReplyEventName = "NVX_SENSOR_READY_EVENT";

// Request codes (signed 32-bit, block offset kRequestCode).
constexpr int32_t kRequestRefreshAll = 0;
constexpr int32_t kRequestRefreshTemperature = 1;
constexpr int32_t kRequestRefreshVoltage = 2;
constexpr int32_t kRequestRefreshFan = 3;
constexpr int32_t kRequestSaveParameters = 9;
constexpr int32_t kRequestSetFlag17 = 17;

extern os::Handle gRequestEvent;
extern os::Handle gReplyEvent;

// Creates the named event with world access, or opens an existing one with EVENT_ALL_ACCESS.
os::Handle CreateOrOpenEvent(const char* name);

// Main cycle step 3: request event, then the request thread, then the reply event.
void StartRequestChannel();

// Ends the request thread before teardown releases what it uses: after this returns the
// thread touches neither the block nor the event handles again. Service thread.
void StopRequestChannel();

}  // namespace vigil
