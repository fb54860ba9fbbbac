// The one place the Win32 backend includes <windows.h>. The port's own names (RegCreateKey,
// MessageBox, ...) collide with the A/W selector macros of the SDK headers; those macros are
// removed here so that the backend defines exactly the functions os.h declares, and the
// backend always calls the explicit ...A entry points. Windows-only tests include this header
// in place of <windows.h> for the same reason.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef GetModuleFileName
#undef MessageBox
#undef RegCreateKey
#undef RegOpenKey
#undef RegQueryValue
#undef RegSetValue
#undef RegEnumValue
#undef RegEnumKey
#undef RegDeleteValue
#undef RegisterEventSource
#undef ReportEvent
#undef RegisterServiceCtrlHandler

#include "os/os.h"

namespace os::win32 {

// INVALID_HANDLE_VALUE and NULL both become the port's "no handle".
inline Handle FromWin32(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

// Security attributes that give every account full access (a present, null DACL in a
// descriptor at revision 1) with an inheritable handle: what the shared block and the two
// named events are made with, so that clients of any account can open them. The descriptor
// lives in the object, so the attributes stay valid as long as it does.
class WorldAccess {
 public:
  WorldAccess();
  // Null when the descriptor could not be built; callers then fail rather than fall back to
  // the default security, which would lock other accounts out.
  SECURITY_ATTRIBUTES* Attributes() { return ok_ ? &attributes_ : nullptr; }

 private:
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ok_ = false;
};

// The bytes a view of the whole mapping covers (0 when it cannot be mapped). Windows keeps a
// mapping's size only to the page, so this is the most that can be known of it.
SIZE_T ViewedSize(HANDLE mapping);

// True once the service control manager has called the service entry of this process.
bool RunningAsService();

// %ProgramData%\Vigilagent\messages.log: every message box text is appended there, because a
// service has no desktop on which anybody would see the box. False when it cannot be named.
bool MessageLogPath(char* path, std::size_t capacity);

}  // namespace os::win32
