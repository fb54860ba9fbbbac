#include "os/registry_rules.h"

#include <cstring>

#include "os/os.h"

namespace os::registry {

bool SplitKeyPath(const char* path, std::vector<std::string>* names) {
  names->clear();
  if (path == nullptr) return false;
  std::string current;
  for (const char* p = path;; ++p) {
    if (*p == '\\' || *p == '\0') {
      if (!current.empty()) names->push_back(current);
      current.clear();
      if (*p == '\0') break;
      continue;
    }
    if (current.size() == kRegMaxKeyName) return false;
    current.push_back(*p);
  }
  return !names->empty();
}

std::string JoinKeyPath(const std::vector<std::string>& names, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count && i < names.size(); ++i) {
    if (i != 0) path.push_back('\\');
    path += names[i];
  }
  return path;
}

std::uint32_t EffectiveRights(std::uint32_t access) {
  std::uint32_t rights = access;
  if (access & 0x80000000u) rights |= kKeyRead;                       // GENERIC_READ
  if (access & 0x40000000u) rights |= 0x20006;                        // GENERIC_WRITE
  if (access & (0x10000000u | 0x02000000u)) rights |= kKeyAllAccess;  // GENERIC_ALL, MAXIMUM
  return rights;
}

long CopyName(std::string_view value, char* name, std::uint32_t* capacity) {
  if (value.size() + 1 > *capacity) return kErrorMoreData;
  if (!value.empty()) std::memcpy(name, value.data(), value.size());  // an empty view may hold null
  name[value.size()] = '\0';
  *capacity = static_cast<std::uint32_t>(value.size());
  return kErrorSuccess;
}

long CopyData(const void* stored, std::uint32_t length, void* data, std::uint32_t* size) {
  if (data == nullptr) {
    *size = length;
    return kErrorSuccess;
  }
  if (length > *size) {
    *size = length;
    return kErrorMoreData;
  }
  if (length != 0) std::memcpy(data, stored, length);
  *size = length;
  return kErrorSuccess;
}

}  // namespace os::registry
