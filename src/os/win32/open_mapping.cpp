// Client side of the named shared block: open only, so a client never makes a block that the
// agent would then take for its own.
#include "os/win32/win32_api.h"

namespace os {

Handle OpenNamedMapping(const char* name, std::size_t size, bool* tooSmall) {
  if (tooSmall != nullptr) *tooSmall = false;
  if (name == nullptr || size == 0) return nullptr;
  HANDLE mapping = ::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
  if (mapping == nullptr) return nullptr;
  const SIZE_T viewed = win32::ViewedSize(mapping);
  if (viewed < size) {
    if (tooSmall != nullptr) *tooSmall = viewed != 0;
    ::CloseHandle(mapping);
    return nullptr;
  }
  return mapping;
}

}  // namespace os
