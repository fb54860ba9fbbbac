// The objects of agent/state/agent_state.h. They are defined here, where the process is put
// together, because only here may every subsystem's types be seen at once.
#include "agent/state/agent_state.h"

#include <cstring>

#include "agent/eventlog/decoded_event.h"
#include "agent/eventlog/event_log_reader.h"
#include "agent/eventlog/event_reporting.h"
#include "agent/eventlog/log_record_source.h"
#include "agent/eventlog/test_log.h"
#include "agent/eventtables/event_table.h"
#include "agent/platform/driver_channel.h"
#include "agent/platform/smbios_parser.h"
#include "agent/service/main_cycle.h"

namespace vigil {

namespace {

constexpr uint32_t kDriverRetryDelayMs = 1000;
constexpr uint32_t kTableRetryDelayMs = 1000;

std::time_t SystemNow() { return std::time(nullptr); }

}  // namespace

os::ServiceStatus gServiceStatus{};
os::Handle gStatusHandle = nullptr;
os::Handle gStopEvent = nullptr;
uint32_t gPollIntervalMs = kPollIntervalMs;

uint8_t* gBlock = nullptr;
uint8_t* gView = nullptr;
os::Handle gMapping = nullptr;
std::vector<std::vector<uint8_t>> gLastPoll;
bool gBlockRestoreFailureLogged = false;

os::Handle gRequestEvent = nullptr;
os::Handle gReplyEvent = nullptr;

os::Handle gDriverHandle = nullptr;
uint32_t gDriverRetryDelayMs = kDriverRetryDelayMs;
uint32_t gTableRetryDelayMs = kTableRetryDelayMs;
uint8_t gSmbiosTable[kSmbiosTableSize];
Inventory gInventory{};
std::map<uint16_t, std::string> gMemoryDeviceMap;
ModelIndex gModelIndex = kModelUnidentified;
bool gGenericSetInUse = false;

uint16_t gSensorHandles[block::kMaxSensors];
uint8_t gSensorCommand[kCommandBlockSize];
uint8_t gAlertCommand[kCommandBlockSize];

EventTable gEventTable;
EventLogReaderState gEventLogReader{};
LogRecordSource gLogSource = DriverLogRecords();
DecodedEvent gEvent{};
SystemEventReports gPollReports(kEventSourceName);
bool gUtilizationAlerted = false;
TestLog gTestLog;
std::time_t (*gNow)() = SystemNow;

void ResetAgentState() {
  gServiceStatus = os::ServiceStatus{};
  gStatusHandle = nullptr;
  gStopEvent = nullptr;
  gPollIntervalMs = kPollIntervalMs;

  gBlock = nullptr;
  gView = nullptr;
  gMapping = nullptr;
  gLastPoll.clear();
  gBlockRestoreFailureLogged = false;

  gRequestEvent = nullptr;
  gReplyEvent = nullptr;

  gDriverHandle = nullptr;
  gDriverRetryDelayMs = kDriverRetryDelayMs;
  gTableRetryDelayMs = kTableRetryDelayMs;
  std::memset(gSmbiosTable, 0, sizeof gSmbiosTable);
  gInventory = Inventory{};
  gMemoryDeviceMap.clear();
  gModelIndex = kModelUnidentified;
  gGenericSetInUse = false;

  std::memset(gSensorHandles, 0, sizeof gSensorHandles);
  std::memset(gSensorCommand, 0, sizeof gSensorCommand);
  std::memset(gAlertCommand, 0, sizeof gAlertCommand);

  gEventTable.Clear();
  gEventLogReader = EventLogReaderState{};
  gLogSource = DriverLogRecords();
  gEvent = DecodedEvent{};
  gPollReports.Close();
  gUtilizationAlerted = false;
  gTestLog.Reset();
  gNow = SystemNow;
}

}  // namespace vigil
