#include "agent/eventlog/utilization_alert.h"

#include <cstdio>

#include "agent/eventlog/event_log_reader.h"
#include "agent/eventlog/event_reporting.h"
#include "os/os.h"
#include "agent/platform/driver_channel.h"
#include "contract/le_bytes.h"

namespace vigil {

namespace {

// The agent's own events go to the category it registered for them.
constexpr uint16_t kAgentEventCategory = 2;

void SendAlertCommand() {
  // A block of its own: the request thread sends sensor commands with another at any time.
  for (uint8_t& byte : gAlertCommand) byte = 0;
  le::Store16(gAlertCommand + kCommandCodeOffset, kCommandLogAlert);
  // The driver's answer carries nothing for this command and a failure is not retried.
  DeviceCommand(gAlertCommand);
}

}  // namespace

void CheckLogUtilization() {
  if (gEventLogReader.logDataSize == 0) return;
  const int32_t utilization = gEventLogReader.logUtilization;
  if (utilization <= kLogUtilizationThreshold) {
    gUtilizationAlerted = false;
    return;
  }
  if (gUtilizationAlerted) return;
  SendAlertCommand();
  // The command tells the driver; the administrator reads the system event log.
  char text[96];
  std::snprintf(text, sizeof text, "BIOS Event Log Utilization %d%% exceeds threshold %d%%",
                int(utilization), kLogUtilizationThreshold);
  EventFields fields;
  BuildUtilizationFields(utilization, &fields);
  ReportSystemEvent(kEventSourceName, text, os::kEventTypeWarning, kAgentEventCategory, &fields);
  gUtilizationAlerted = true;
}

}  // namespace vigil
