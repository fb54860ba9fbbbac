// Windows file paths on drive c:, as the backends without a real drive c: read them.
#pragma once

#include <string>

namespace os {

// The path inside drive c: of a Windows path, names joined with '/', e.g. "c:\\logs\\a.csv"
// -> "logs/a.csv". Backslashes and slashes both separate; doubled ones and "." collapse.
// False for other drives, relative paths, the drive itself, ".." (which could leave the drive)
// and names Windows forbids.
bool PathOnDriveC(const char* windowsPath, std::string* relative);

}  // namespace os
