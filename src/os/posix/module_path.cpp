// Path of the running executable.
#include <unistd.h>

#include <cstring>
#include <string>

#include "os/os.h"

namespace os {

std::size_t GetModuleFileName(char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) {
    buffer[0] = '\0';
    return 0;
  }
  std::string_view exe(path, static_cast<std::size_t>(length));
  // A binary replaced on disk while running (a package upgrade) reads back as "<path>
  // (deleted)"; the path itself is what the event log registration wants.
  constexpr std::string_view kDeleted = " (deleted)";
  if (exe.size() > kDeleted.size() && exe.substr(exe.size() - kDeleted.size()) == kDeleted) {
    exe.remove_suffix(kDeleted.size());
  }
  // As GetModuleFileNameA does since Vista: a path cut to the buffer is still terminated and
  // reported as `capacity`, so the caller can tell it was cut.
  if (exe.size() >= capacity) {
    std::memcpy(buffer, exe.data(), capacity - 1);
    buffer[capacity - 1] = '\0';
    return capacity;
  }
  std::memcpy(buffer, exe.data(), exe.size());
  buffer[exe.size()] = '\0';
  return exe.size();
}

}  // namespace os
