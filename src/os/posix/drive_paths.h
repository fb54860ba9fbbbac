// Windows file paths on a POSIX host: drive c:\ is /var/lib/vigilagent/drive_c/.
#pragma once

#include <string>

namespace os::posix {

constexpr char kDriveCDir[] = "/var/lib/vigilagent/drive_c";

// The absolute POSIX path (before the root is applied) for a path on drive c:, e.g.
// "c:\\test_log.csv" -> "/var/lib/vigilagent/drive_c/test_log.csv" (see os/drive_path.h for
// the names taken and refused).
bool DrivePathToPosix(const char* windowsPath, std::string* posixPath);

}  // namespace os::posix
