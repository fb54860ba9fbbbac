#include "os/posix/registry_path.h"

#include "os/os.h"

namespace os::posix {

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

}  // namespace os::posix
