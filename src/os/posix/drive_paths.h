// Windows file paths on a POSIX host: drive c:\ is /var/lib/vigilagent/drive_c/.
#pragma once

#include <string>

namespace os::posix {

constexpr char kDriveCDir[] = "/var/lib/vigilagent/drive_c";

// The absolute POSIX path (before the root is applied) for a path on drive c:, e.g.
// "c:\\test_log.csv" -> "/var/lib/vigilagent/drive_c/test_log.csv". Backslashes and slashes
// both separate; doubled ones and "." collapse. False for other drives, relative paths, the
// drive itself, ".." (which could leave the drive) and names Windows forbids.
bool DrivePathToPosix(const char* windowsPath, std::string* posixPath);

}  // namespace os::posix
