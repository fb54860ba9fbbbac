// Named shared block: a paging-file mapping with world access.
#include "os/win32/win32_api.h"

namespace os {
namespace win32 {

SIZE_T ViewedSize(HANDLE mapping) {
  void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) return 0;
  MEMORY_BASIC_INFORMATION info{};
  const SIZE_T got = ::VirtualQuery(view, &info, sizeof info);
  ::UnmapViewOfFile(view);
  return got == sizeof info ? info.RegionSize : 0;
}

}  // namespace win32

Handle CreateNamedMapping(const char* name, std::size_t size) {
  if (name == nullptr || size == 0 || size > 0xFFFFFFFFu) return nullptr;
  win32::WorldAccess access;
  if (access.Attributes() == nullptr) return nullptr;
  HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, access.Attributes(), PAGE_READWRITE,
                                        0, static_cast<DWORD>(size), name);
  if (mapping == nullptr) return nullptr;
  // An existing mapping keeps its own size whatever we asked for; one that cannot hold the
  // block is refused, so nothing ever writes past its end.
  if (::GetLastError() == ERROR_ALREADY_EXISTS && win32::ViewedSize(mapping) < size) {
    ::CloseHandle(mapping);
    return nullptr;
  }
  return mapping;
}

void* MapWholeView(Handle mapping) {
  if (mapping == nullptr) return nullptr;
  return ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
}

// A section keeps its size while any handle or view holds it: nothing can cut it short.
bool MappingCutShort(Handle, std::size_t*) { return false; }
int RestoreMappingSize(Handle, void*) { return -1; }

}  // namespace os
