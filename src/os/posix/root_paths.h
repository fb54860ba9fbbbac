// Where the backend's files live. Every absolute path is put under $VIGIL_ROOT, read afresh at
// each call so that a test can move the port between sandboxes.
#pragma once

#include <string>
#include <string_view>

namespace os::posix {

// The root without trailing slashes: "" for the real system (unset, empty or "/").
std::string RootDir();
// True when a sandbox root is in force (VIGIL_ROOT set to something other than "/").
bool IsSandboxed();
// `absolutePath` (starting with '/') under the current root.
std::string RootedPath(std::string_view absolutePath);
// Creates the directories leading to `path` (mode 0755 before umask). False when one cannot be
// made or an existing one is not a directory.
bool MakeParentDirs(const std::string& path);
// A name usable as one file name for a named object: non-empty, at most 200 bytes, no '/' and
// no control characters, not "." or "..". Keeps caller-supplied names inside their directory.
bool IsPlainObjectName(const char* name);

}  // namespace os::posix
