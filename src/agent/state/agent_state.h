// The agent's process-global objects, all of them, in one place. They live for the whole process
// and are shared without locks, so for each one this says which thread writes it and which
// threads read it. The threads: the service thread (service entry, start-up, poll steps,
// teardown), the request thread (client requests: sensor refresh, parameter save) and the main
// thread (the service control handler, including the parameter reload on control code 128).
//
// The types are declared here only; each is defined by the subsystem it belongs to, and the
// objects are defined in service/agent_state.cpp. Nothing else in the agent outlives a call,
// except the hand-over flags private to the request channel and the control handler (they order
// those two threads against teardown and are reset by the channel's start and the handler's
// opening).
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "contract/block_layout.h"
#include "contract/driver_protocol.h"
#include "os/os.h"
#include "smbios/known_models.h"

namespace vigil {

struct Inventory;
struct DecodedEvent;
struct EventLogReaderState;
struct LogRecordSource;
class EventTable;
class TestLog;
class SystemEventReports;

// --- Service host ---------------------------------------------------------------------------

// The status record passed to every status report. Current state: written by the service thread
// (start, end) and the main thread (STOP/SHUTDOWN), read by the request thread (it leaves at
// STOP_PENDING); atomically, through CurrentServiceState(). Other fields: service thread.
extern os::ServiceStatus gServiceStatus;
// Written by the service thread when it registers the handler; read by the service and main
// threads for their status reports.
extern os::Handle gStatusHandle;
// Created and closed by the service thread, which also waits on it and resets it; set by the
// main thread on STOP/SHUTDOWN (handed over atomically).
extern os::Handle gStopEvent;
// The wait between poll steps. Set before the service starts (tests shorten it); read by the
// service thread.
extern uint32_t gPollIntervalMs;

// --- The shared block -----------------------------------------------------------------------

// Where the block lies in this process: the mapped view of "DMFileMap" or a private allocation.
// Written by the service thread (set-up, teardown); read by all three threads, the request
// thread and the main thread through CurrentBlock(), which is null before set-up and after
// release.
extern uint8_t* gBlock;
// The mapped view (null: none), the mapping behind it, the block as of the last poll (what a cut
// leaves the agent to restore it from) and whether a failed restore was logged (once, not every
// poll). Service thread only.
extern uint8_t* gView;
extern os::Handle gMapping;
extern std::vector<std::vector<uint8_t>> gLastPoll;  // page by page, all-zero pages empty
extern bool gBlockRestoreFailureLogged;

// --- The request channel --------------------------------------------------------------------

// "NVX_CFG_EVENT": created by the service thread before the request thread starts, closed by it
// after that thread has ended; waited on and reset by the request thread, set by the service
// thread to end it.
extern os::Handle gRequestEvent;
// "NVX_SENSOR_READY_EVENT": created by the service thread after the request thread started and
// closed after it ended (handed over atomically); set by the request thread after a refresh.
extern os::Handle gReplyEvent;

// --- Platform access and inventory ----------------------------------------------------------

// The one handle on \\.\HwGate. Opened by the service thread in the start-up and closed by its
// teardown; used by the service thread (table, log reads, the alert command) and the request
// thread (sensor commands).
extern os::Handle gDriverHandle;
// Sleep after every failed open attempt; 1000 ms, shortened by tests. Service thread.
extern uint32_t gDriverRetryDelayMs;
// The wait after the first failed SMBIOS table read, doubled after each further one; 1000 ms,
// shortened by tests. Service thread.
extern uint32_t gTableRetryDelayMs;
// The SMBIOS table buffer the driver fills (strings are looked up inside it), the inventory
// parsed from it and the memory device map (handle -> Device Locator text of at most 15
// characters; only added to or replaced). Written by the service thread in the start-up; read
// by it afterwards (sensor table build, event decoder, event log set-up).
extern uint8_t gSmbiosTable[kSmbiosTableSize];
extern Inventory gInventory;
extern std::map<uint16_t, std::string> gMemoryDeviceMap;
// The identified model (kModelUnidentified until one is), and whether the generic event set
// describes an unidentified one: its event tables were loaded from it, and the server is
// described as far as the standards allow (UUID published, limit events naming their device,
// every fan by its own name); the model index stays unidentified then. Written by the service
// thread in the start-up (IdentifyPlatformModel); read by it (sensor table build, decoder).
extern ModelIndex gModelIndex;
extern bool gGenericSetInUse;

// --- Sensors --------------------------------------------------------------------------------

// Entry i: the SMBIOS handle behind sensor record i. Written by the service thread's sensor
// table build; read by the request thread's refresh.
extern uint16_t gSensorHandles[block::kMaxSensors];
// The command block of sensor commands. Request thread only: the service thread's alert
// command has a block of its own, since both may be at the driver at once.
extern uint8_t gSensorCommand[kCommandBlockSize];
extern uint8_t gAlertCommand[kCommandBlockSize];

// --- Event tables and the BIOS event log: service thread only -------------------------------

// The model's event texts and trap data: loaded in the start-up, looked up by the decoder.
extern EventTable gEventTable;
// The reader's position, log geometry and counters. Its `newRecordReported` is the new-record
// marker the protective shutdown reads; the over-temperature marker is no global, but what a
// poll returns (LogPollResult), since it is written and read within one poll step.
extern EventLogReaderState gEventLogReader;
// Where the reader's records come from: the driver, or the test log the start-up found.
extern LogRecordSource gLogSource;
// The one event the decoder overwrites for every record.
extern DecodedEvent gEvent;
// The new records of one poll go to the system event log through one handle, closed when the
// poll ends.
extern SystemEventReports gPollReports;
// One driver alert per rise of the log utilization above the threshold.
extern bool gUtilizationAlerted;
// "c:\test_log.csv", replayed in place of the BIOS log when the start-up found it.
extern TestLog gTestLog;
// The current calendar time for the decoder's "recent" judgement; replaced by tests.
extern std::time_t (*gNow)();

// Puts every object above back as it is when the process starts: for tests and tools that run
// the agent's parts many times in one process. Handles are forgotten, not closed (they belong to
// the machine the test is about to reset); nothing may run on the request thread or the main
// thread's handler meanwhile.
void ResetAgentState();

}  // namespace vigil
