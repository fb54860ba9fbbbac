// Message boxes. A service runs in session 0 without a desktop that anybody looks at, and a
// modal box there would block its thread for ever (on the control handler's thread, the
// service could no longer be stopped). So every message is first written where an
// administrator can read it: the message log, the debugger output and stderr. Then:
//  - as a service, it goes to the active console session with WTSSendMessageA, not waiting
//    for an answer, so the caller carries on at once;
//  - started by hand (only the dispatcher failure can be shown then), a normal modal box,
//    when the process has a visible window station.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "os/win32/win32_api.h"

#include <wtsapi32.h>

namespace os {
namespace win32 {

bool MessageLogPath(char* path, std::size_t capacity) {
  char base[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableA("ProgramData", base, sizeof base);
  if (n == 0 || n >= sizeof base) std::strcpy(base, "C:\\ProgramData");
  const int written = std::snprintf(path, capacity, "%s\\Vigilagent\\messages.log", base);
  return written > 0 && static_cast<std::size_t>(written) < capacity;
}

}  // namespace win32

namespace {

void AppendToMessageLog(const char* line, DWORD length) {
  char path[MAX_PATH];
  if (!win32::MessageLogPath(path, sizeof path)) return;
  // The folder is made on first use; its parent (ProgramData) always exists.
  char folder[MAX_PATH];
  std::strcpy(folder, path);
  if (char* slash = std::strrchr(folder, '\\')) *slash = '\0';
  ::CreateDirectoryA(folder, nullptr);
  // FILE_APPEND_DATA makes each write land at the end as one piece, whichever thread writes.
  HANDLE file = ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  ::WriteFile(file, line, length, &done, nullptr);
  ::CloseHandle(file);
}

bool VisibleWindowStation() {
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  HWINSTA station = ::GetProcessWindowStation();
  return station != nullptr &&
         ::GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

void NotifyConsoleSession(const char* text, const char* caption, uint32_t flags) {
  const DWORD session = ::WTSGetActiveConsoleSessionId();
  if (session == 0xFFFFFFFFu) return;  // nobody is attached to the console
  char title[256];
  char body[1024];
  std::snprintf(title, sizeof title, "%s", caption);
  std::snprintf(body, sizeof body, "%s", text);
  DWORD response = 0;
  ::WTSSendMessageA(WTS_CURRENT_SERVER_HANDLE, session, title, std::strlen(title), body,
                    std::strlen(body), flags, 0, &response, FALSE);
}

}  // namespace

void MessageBox(const char* text, const char* caption, uint32_t flags) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "";
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  char line[1200];
  int length = std::snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u [%s] %s\r\n",
                             now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                             now.wSecond, caption, text);
  if (length < 0) return;
  if (static_cast<std::size_t>(length) >= sizeof line) length = sizeof line - 1;
  // One message, one line: control characters inside the texts become blanks, and a cut text
  // still ends its line.
  for (int i = 0; i < length - 2; ++i) {
    if (static_cast<unsigned char>(line[i]) < 0x20 || line[i] == 0x7F) line[i] = ' ';
  }
  line[length - 2] = '\r';
  line[length - 1] = '\n';
  AppendToMessageLog(line, static_cast<DWORD>(length));
  ::OutputDebugStringA(line);
  std::fprintf(stderr, "%s: %s\n", caption, text);
  std::fflush(stderr);

  if (win32::RunningAsService()) {
    NotifyConsoleSession(text, caption, flags);
  } else if (VisibleWindowStation()) {
    ::MessageBoxA(nullptr, text, caption, flags);
  }
}

}  // namespace os
