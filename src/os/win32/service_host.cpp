// Service host: the real service control manager calls.
#include <atomic>
#include <cstring>

#include "os/win32/win32_api.h"

namespace os {
namespace {

// The SCM calls back through WINAPI functions with its own argument types; these trampolines
// forward to the port's callbacks. One service per process, so one of each is enough.
ServiceMainFn gServiceMain = nullptr;
// Registered on the service thread, called on the dispatcher's.
std::atomic<ServiceCtrlHandlerFn> gCtrlHandler{nullptr};
char gServiceName[256];
// Set on the service thread, read by message boxes on any thread.
std::atomic<bool> gRunningAsService{false};

VOID WINAPI ServiceMainTrampoline(DWORD argc, LPSTR* argv) {
  gRunningAsService = true;
  if (gServiceMain != nullptr) gServiceMain(argc, argv);
}

VOID WINAPI CtrlHandlerTrampoline(DWORD control) {
  if (ServiceCtrlHandlerFn handler = gCtrlHandler.load()) handler(control);
}

}  // namespace

namespace win32 {

bool RunningAsService() { return gRunningAsService.load(); }

}  // namespace win32

bool StartServiceDispatcher(const char* serviceName, ServiceMainFn serviceMain) {
  if (serviceName == nullptr || serviceMain == nullptr ||
      std::strlen(serviceName) >= sizeof gServiceName) {
    return false;
  }
  std::strcpy(gServiceName, serviceName);
  gServiceMain = serviceMain;
  SERVICE_TABLE_ENTRYA table[] = {{gServiceName, ServiceMainTrampoline}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherA(table) != FALSE;
}

Handle RegisterServiceCtrlHandler(const char* serviceName, ServiceCtrlHandlerFn handler) {
  if (serviceName == nullptr || handler == nullptr) return nullptr;
  gCtrlHandler = handler;
  return ::RegisterServiceCtrlHandlerA(serviceName, CtrlHandlerTrampoline);
}

bool SetServiceStatus(Handle statusHandle, const ServiceStatus& status) {
  if (statusHandle == nullptr) return false;
  SERVICE_STATUS record{};
  record.dwServiceType = status.serviceType;
  record.dwCurrentState = status.currentState;
  record.dwControlsAccepted = status.controlsAccepted;
  record.dwWin32ExitCode = status.win32ExitCode;
  record.dwServiceSpecificExitCode = status.serviceSpecificExitCode;
  record.dwCheckPoint = status.checkPoint;
  record.dwWaitHint = status.waitHint;
  return ::SetServiceStatus(static_cast<SERVICE_STATUS_HANDLE>(statusHandle), &record) != FALSE;
}

// SERVICE_STATUS has no text: the event log carries what the note would say.
void SetServiceStatusNote(const char*) {}

}  // namespace os
