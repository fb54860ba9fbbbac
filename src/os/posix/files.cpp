// Files named by Windows path.
#include <cstring>
#include <string>

#include "os/os.h"
#include "os/posix/drive_paths.h"
#include "os/posix/root_paths.h"

namespace os {
namespace posix {

bool DrivePathToPosix(const char* windowsPath, std::string* posixPath) {
  if (windowsPath == nullptr) return false;
  const char* p = windowsPath;
  if ((p[0] != 'c' && p[0] != 'C') || p[1] != ':' || (p[2] != '\\' && p[2] != '/')) return false;
  std::string path = kDriveCDir;
  std::string name;
  bool any = false;
  for (p += 3;; ++p) {
    if (*p == '\\' || *p == '/' || *p == '\0') {
      if (name == "..") return false;
      if (!name.empty() && name != ".") {
        path += "/" + name;
        any = true;
      }
      name.clear();
      if (*p == '\0') break;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) return false;
    name.push_back(*p);
  }
  if (!any) return false;
  *posixPath = path;
  return true;
}

}  // namespace posix

std::FILE* OpenFile(const char* windowsPath, const char* mode) {
  std::string path;
  if (mode == nullptr || *mode == '\0' || !posix::DrivePathToPosix(windowsPath, &path)) {
    return nullptr;
  }
  // "t" (text mode) is the Windows default and means nothing here.
  std::string posixMode;
  for (const char* m = mode; *m != '\0'; ++m) {
    if (*m != 't') posixMode.push_back(*m);
  }
  std::string rooted = posix::RootedPath(path);
  // The drive itself always exists on Windows; its folders are the caller's business.
  if (posixMode[0] == 'w' || posixMode[0] == 'a') {
    posix::MakeParentDirs(posix::RootedPath(std::string(posix::kDriveCDir) + "/x"));
  }
  return std::fopen(rooted.c_str(), posixMode.c_str());
}

}  // namespace os
