#include <cctype>
#include <cstring>

#include "os/posix/device_object.h"

namespace os::posix {

bool DeviceNameFromPath(const char* path, std::string* lowerName) {
  static constexpr char kPrefix[] = "\\\\.\\";
  if (path == nullptr || std::strncmp(path, kPrefix, sizeof kPrefix - 1) != 0) return false;
  std::string name;
  for (const char* p = path + sizeof kPrefix - 1; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (!std::isalnum(c) && c != '_' && c != '-' && c != '.') return false;
    name.push_back(static_cast<char>(std::tolower(c)));
  }
  if (name.empty() || name.size() > 64 || name == "." || name == "..") return false;
  *lowerName = name;
  return true;
}

}  // namespace os::posix
