// System event log reports and the executable's own path.
#include "os/win32/win32_api.h"

namespace os {

Handle RegisterEventSource(const char* source) {
  if (source == nullptr) return nullptr;
  return ::RegisterEventSourceA(nullptr, source);
}

// The Application log keeps insertion strings only: structured fields have no place there.
bool ReportEvent(Handle source, uint16_t type, uint16_t category, uint32_t eventId,
                 const char* insertionString, const EventField*, std::size_t) {
  if (source == nullptr) return false;
  const char* strings[1] = {insertionString != nullptr ? insertionString : ""};
  return ::ReportEventA(source, type, category, eventId, nullptr, 1, 0, strings, nullptr) != FALSE;
}

void DeregisterEventSource(Handle source) {
  if (source != nullptr) ::DeregisterEventSource(source);
}

std::size_t GetModuleFileName(char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  const DWORD limit = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, limit);
  // Older systems leave a cut path unterminated; the port promises a terminated one.
  if (length >= limit) {
    buffer[limit - 1] = '\0';
    return limit - 1;
  }
  buffer[length] = '\0';
  return length;
}

}  // namespace os
