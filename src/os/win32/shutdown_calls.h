// The Win32 calls of the power-off sequence, held in a table so that a test can put recorders
// in their place: no test may ever power off the machine (or end the Wine session).
#pragma once

#include "os/win32/win32_api.h"

namespace os::win32 {

struct ShutdownCalls {
  BOOL(WINAPI* openProcessToken)(HANDLE process, DWORD access, HANDLE* token);
  BOOL(WINAPI* lookupPrivilegeValue)(const char* system, const char* name, LUID* luid);
  BOOL(WINAPI* adjustTokenPrivileges)(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* state,
                                      DWORD length, TOKEN_PRIVILEGES* previous, DWORD* returned);
  BOOL(WINAPI* getVersionEx)(OSVERSIONINFOA* info);
  BOOL(WINAPI* exitWindowsEx)(UINT flags, DWORD reason);
  BOOL(WINAPI* initiateSystemShutdown)(char* machine, char* message, DWORD timeout,
                                       BOOL forceAppsClosed, BOOL reboot);
  BOOL(WINAPI* closeHandle)(HANDLE handle);
};

// The real calls by default. Tests replace entries and restore the table afterwards.
extern ShutdownCalls gShutdownCalls;
ShutdownCalls RealShutdownCalls();

}  // namespace os::win32
