// Events, waits and handle closing.
#include "os/local_devices.h"
#include "os/win32/win32_api.h"

namespace os {

Handle CreateNamedEvent(const char* name, bool manualReset, bool initialState) {
  if (name == nullptr) return nullptr;
  win32::WorldAccess access;
  if (access.Attributes() == nullptr) return nullptr;
  return ::CreateEventA(access.Attributes(), manualReset ? TRUE : FALSE,
                        initialState ? TRUE : FALSE, name);
}

Handle OpenNamedEvent(const char* name) {
  if (name == nullptr) return nullptr;
  return ::OpenEventA(EVENT_ALL_ACCESS, FALSE, name);
}

Handle CreateUnnamedEvent(bool manualReset, bool initialState) {
  return ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE,
                        nullptr);
}

bool SetEvent(Handle event) { return event != nullptr && ::SetEvent(event) != FALSE; }

bool ResetEvent(Handle event) { return event != nullptr && ::ResetEvent(event) != FALSE; }

WaitResult WaitForEvent(Handle event, uint32_t timeoutMs) {
  if (event == nullptr) return WaitResult::kFailed;
  switch (::WaitForSingleObject(event, timeoutMs == kInfinite ? INFINITE : timeoutMs)) {
    case WAIT_OBJECT_0:
      return WaitResult::kSignaled;
    case WAIT_TIMEOUT:
      return WaitResult::kTimeout;
    default:
      return WaitResult::kFailed;
  }
}

void CloseHandle(Handle handle) {
  // An in-process device handle is no kernel object and must never reach ::CloseHandle.
  if (handle != nullptr && !local_devices::Close(handle)) ::CloseHandle(handle);
}

}  // namespace os
