// Power off: enable the shutdown privilege, then ExitWindowsEx on NT 5 and later, or
// InitiateSystemShutdownA on older systems. No result is examined: each step is tried anyway.
#include <cstdio>

#include "os/win32/shutdown_calls.h"

namespace os {
namespace win32 {

ShutdownCalls RealShutdownCalls() {
  return ShutdownCalls{::OpenProcessToken, ::LookupPrivilegeValueA, ::AdjustTokenPrivileges,
                       ::GetVersionExA,    ::ExitWindowsEx,         ::InitiateSystemShutdownA,
                       ::CloseHandle};
}

ShutdownCalls gShutdownCalls = RealShutdownCalls();

}  // namespace win32

void ShutdownSystem(const char* message) {
  const win32::ShutdownCalls& calls = win32::gShutdownCalls;
  HANDLE token = nullptr;
  calls.openProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);

  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  calls.lookupPrivilegeValue(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  calls.adjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);

  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record of GetVersionExA");
  calls.getVersionEx(&version);

  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5) {
    calls.exitWindowsEx(EWX_POWEROFF | EWX_FORCE, 0);
  } else {
    // The call takes a writable text; the message is copied so a literal can be passed in.
    char text[256];
    std::snprintf(text, sizeof text, "%s", message != nullptr ? message : "");
    calls.initiateSystemShutdown(nullptr, text, 0, TRUE, FALSE);
  }

  privileges.Privileges[0].Attributes = 0;
  calls.adjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  if (token != nullptr) calls.closeHandle(token);
}

}  // namespace os
