// Client side of the named shared block: open only, so a client never makes a block that the
// agent would then take for its own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "os/os.h"
#include "os/posix/root_paths.h"

namespace os {

Handle OpenNamedMapping(const char* name, std::size_t size, bool* tooSmall) {
  if (tooSmall != nullptr) *tooSmall = false;
  if (!posix::IsPlainObjectName(name) || size == 0) return nullptr;
  std::string path = posix::RootedPath(std::string("/dev/shm/") + name);
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW);
  if (fd < 0) return nullptr;
  struct stat st;
  bool usable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  bool small = usable && static_cast<std::uint64_t>(st.st_size) < size;
  close(fd);
  if (!usable) return nullptr;
  if (small) {
    if (tooSmall != nullptr) *tooSmall = true;
    return nullptr;
  }
  // It exists and is big enough, so create-or-open opens it and keeps its contents.
  return CreateNamedMapping(name, size);
}

}  // namespace os
