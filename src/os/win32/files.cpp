// Files by Windows path: fopen takes the path as it is.
#include <cstdio>

#include "os/win32/win32_api.h"

namespace os {

std::FILE* OpenFile(const char* windowsPath, const char* mode) {
  if (windowsPath == nullptr || mode == nullptr) return nullptr;
  return std::fopen(windowsPath, mode);
}

}  // namespace os
