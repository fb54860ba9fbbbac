#include "agent/service/service_entry.h"

#include <atomic>

#include "agent/config/agent_parameters.h"
#include "agent/eventlog/event_reporting.h"
#include "agent/service/main_cycle.h"

namespace vigil {

namespace {

constexpr uint32_t kServiceTypeBoth = os::kServiceWin32OwnProcess | os::kServiceWin32ShareProcess;
constexpr uint32_t kControlsNone = 0;
constexpr uint32_t kControlsStopShutdown = os::kAcceptStop | os::kAcceptShutdown;
constexpr uint32_t kStartCheckPoint = 1;
constexpr uint32_t kStartWaitHintMs = 1000;

constexpr uint32_t kDrainPollMs = 1;

// The handler runs on the main thread, the service thread closes control handling. Both use
// sequentially consistent order: either the handler sees "closed", or the closer sees it inside.
std::atomic<bool> gControlsClosed{false};
std::atomic<int> gHandlersInside{0};
// A STOP that arrives before the stop event exists is kept here and applied once it does.
std::atomic<bool> gStopRequested{false};

std::atomic_ref<uint32_t> StateField() { return std::atomic_ref<uint32_t>(gServiceStatus.currentState); }
std::atomic_ref<os::Handle> StopEventField() { return std::atomic_ref<os::Handle>(gStopEvent); }

void WarnBox(const char* text) { os::MessageBox(text, kServiceName, os::kMbIconWarning); }

void HandleControl(uint32_t control) {
  switch (control) {
    case os::kControlStop:
    case os::kControlShutdown:
      gStopRequested.store(true);
      os::SetEvent(StopEventField().load());
      ReportServiceState(os::kServiceStopPending);
      return;
    case os::kControlInterrogate:
      return;
    case os::kControlReloadParameters:
      LoadAgentParameters();
      return;
    default:
      WarnBox("ERROR: ServiceCtrlHandler: Unrecognized CtrlCode");
      return;
  }
}

}  // namespace

int ServiceProcessEntry() {
  if (!os::StartServiceDispatcher(kServiceName, ServiceMain)) {
    WarnBox("ERROR: StartServiceCtrlDispatcher");
    return 1;
  }
  // The dispatcher's "true" is not an exit status: a service that ran and stopped, even after
  // a failed start-up, leaves the process with 0, so a supervisor does not take it for a crash.
  return 0;
}

void ReportServiceState(uint32_t state) {
  StateField().store(state);
  os::SetServiceStatus(gStatusHandle, gServiceStatus);
}

uint32_t CurrentServiceState() { return StateField().load(); }

int InitServiceStatus() {
  gServiceStatus.serviceType = kServiceTypeBoth;
  gServiceStatus.controlsAccepted = kControlsNone;
  gServiceStatus.win32ExitCode = 0;
  gServiceStatus.serviceSpecificExitCode = 0;
  gServiceStatus.checkPoint = kStartCheckPoint;
  gServiceStatus.waitHint = kStartWaitHintMs;
  ReportServiceState(os::kServiceStartPending);

  os::Handle stopEvent = os::CreateUnnamedEvent(true, false);
  if (stopEvent == nullptr) return -1;
  StopEventField().store(stopEvent);
  if (gStopRequested.load()) os::SetEvent(stopEvent);

  gServiceStatus.controlsAccepted = kControlsStopShutdown;
  gServiceStatus.checkPoint = 0;
  gServiceStatus.waitHint = 0;
  ReportServiceState(os::kServiceRunning);
  return 0;
}

void ServiceMain(uint32_t, char**) {
  OpenControlHandling();
  gStatusHandle = os::RegisterServiceCtrlHandler(kServiceName, ServiceCtrlHandler);
  if (gStatusHandle == nullptr) {
    WarnBox("ERROR: RegisterServiceCtrlHandler");
  } else if (InitServiceStatus() == 0) {
    InstallEventSource();
    AgentMainCycle();
  }
  // Final sequence, on every path. The main cycle's teardown has closed control handling
  // already; closing again covers the paths that never ran it, so a late STOP can neither use
  // the closed stop event nor report STOP_PENDING after STOPPED.
  const bool quiet = CloseControlHandling() == 0;
  ReportServiceState(os::kServiceStopPending);
  os::Handle stopEvent = StopEventField().exchange(nullptr);
  if (quiet) os::CloseHandle(stopEvent);
  ReportServiceState(os::kServiceStopped);
}

void ServiceCtrlHandler(uint32_t control) {
  gHandlersInside.fetch_add(1);
  if (!gControlsClosed.load()) HandleControl(control);
  gHandlersInside.fetch_sub(1);
}

int CloseControlHandling() {
  gControlsClosed.store(true);
  for (uint32_t waited = 0; gHandlersInside.load() != 0; waited += kDrainPollMs) {
    if (waited >= kControlDrainTimeoutMs) return -1;
    os::SleepMs(kDrainPollMs);
  }
  return 0;
}

void OpenControlHandling() {
  gStopRequested.store(false);
  gControlsClosed.store(false);
}

}  // namespace vigil
