// Files named by Windows path.
#include <string>

#include "os/drive_path.h"
#include "os/os.h"
#include "os/posix/drive_paths.h"
#include "os/posix/root_paths.h"

namespace os {
namespace posix {

bool DrivePathToPosix(const char* windowsPath, std::string* posixPath) {
  std::string relative;
  if (!PathOnDriveC(windowsPath, &relative)) return false;
  *posixPath = std::string(kDriveCDir) + "/" + relative;
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
