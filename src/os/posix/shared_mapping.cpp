// Named shared block: the file /dev/shm/<name> under the root, which on the real root is the
// POSIX shared memory object that clients open with shm_open.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <new>
#include <string>

#include "os/os.h"
#include "os/posix/port_object.h"
#include "os/posix/root_paths.h"

namespace os {
namespace {

class Mapping final : public posix::PortObject {
 public:
  Mapping(int fd, std::size_t size) : fd_(fd), size_(size) {}
  ~Mapping() override { close(fd_); }
  int fd() const { return fd_; }
  std::size_t size() const { return size_; }

 private:
  int fd_;
  std::size_t size_;
};

// Opens the object, creating it when absent; *created tells which. Creating with O_EXCL first
// is what tells us whether the object is ours to size and to remove on failure.
int OpenOrCreate(const std::string& path, bool* created) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    if (fd >= 0) {
      fchmod(fd, 0666);  // world access whatever the umask, like the null DACL on Windows
      *created = true;
      return fd;
    }
    if (errno != EEXIST) return -1;
    fd = open(path.c_str(), O_RDWR | O_NOFOLLOW);
    if (fd >= 0) {
      *created = false;
      return fd;
    }
    if (errno != ENOENT) return -1;  // removed between the two opens: try again
  }
  return -1;
}

}  // namespace

Handle CreateNamedMapping(const char* name, std::size_t size) {
  if (!posix::IsPlainObjectName(name) || size == 0) return nullptr;
  if (size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return nullptr;
  std::string path = posix::RootedPath(std::string("/dev/shm/") + name);
  if (!posix::MakeParentDirs(path)) return nullptr;
  bool created = false;
  int fd = OpenOrCreate(path, &created);
  if (fd < 0) return nullptr;
  auto fail = [&]() -> Handle {
    if (created) unlink(path.c_str());
    close(fd);
    return nullptr;
  };
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return fail();
  if (st.st_size == 0) {
    // Fresh (or made by someone who has not sized it yet): give it our size, zero-filled.
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) return fail();
  } else if (static_cast<std::uint64_t>(st.st_size) < size) {
    // Too small to hold the block: refused untouched rather than grown under its owner.
    return fail();
  }
  auto* mapping = new (std::nothrow) Mapping(fd, size);
  if (mapping == nullptr) return fail();
  return posix::ToHandle(mapping);
}

void* MapWholeView(Handle handle) {
  posix::HandleRef<Mapping> mapping(handle);
  if (!mapping) return nullptr;
  // Someone may have shrunk the object since it was opened; mapping past its end would turn
  // the first access into SIGBUS.
  struct stat st;
  if (fstat(mapping->fd(), &st) != 0) return nullptr;
  if (static_cast<std::uint64_t>(st.st_size) < mapping->size()) return nullptr;
  void* view =
      mmap(nullptr, mapping->size(), PROT_READ | PROT_WRITE, MAP_SHARED, mapping->fd(), 0);
  return view == MAP_FAILED ? nullptr : view;
}

}  // namespace os
