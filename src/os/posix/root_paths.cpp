#include "os/posix/root_paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace os::posix {

std::string RootDir() {
  const char* value = std::getenv("VIGIL_ROOT");
  std::string root = value != nullptr ? value : "";
  while (!root.empty() && root.back() == '/') root.pop_back();
  return root;
}

bool IsSandboxed() { return !RootDir().empty(); }

std::string RootedPath(std::string_view absolutePath) {
  std::string path = RootDir();
  path.append(absolutePath);
  return path;
}

bool MakeParentDirs(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return true;
  std::string dir = path.substr(0, slash);
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    std::string prefix = dir.substr(0, pos);
    if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsPlainObjectName(const char* name) {
  if (name == nullptr) return false;
  std::size_t length = std::strlen(name);
  if (length == 0 || length > 200) return false;
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c == '/' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace os::posix
