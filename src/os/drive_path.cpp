#include "os/drive_path.h"

#include <cstring>

namespace os {

bool PathOnDriveC(const char* windowsPath, std::string* relative) {
  if (windowsPath == nullptr) return false;
  const char* p = windowsPath;
  if ((p[0] != 'c' && p[0] != 'C') || p[1] != ':' || (p[2] != '\\' && p[2] != '/')) return false;
  std::string path;
  std::string name;
  for (p += 3;; ++p) {
    if (*p == '\\' || *p == '/' || *p == '\0') {
      if (name == "..") return false;
      if (!name.empty() && name != ".") {
        if (!path.empty()) path.push_back('/');
        path += name;
      }
      name.clear();
      if (*p == '\0') break;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) return false;
    name.push_back(*p);
  }
  if (path.empty()) return false;
  *relative = path;
  return true;
}

}  // namespace os
