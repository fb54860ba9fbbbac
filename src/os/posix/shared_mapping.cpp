// Named shared block: the file /dev/shm/<name> under the root, which on the real root is the
// POSIX shared memory object that clients open with shm_open. Its lifetime and access are
// those of named_object.h and object_access.h.
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "os/os.h"
#include "os/posix/mapping_object.h"
#include "os/posix/named_object.h"
#include "os/posix/port_object.h"
#include "os/posix/root_paths.h"
#include "os/posix/view_guard.h"

namespace os {
namespace {

class Mapping final : public posix::PortObject {
 public:
  Mapping(int fd, std::size_t size, std::string path) : fd_(fd), size_(size), path_(std::move(path)) {}
  // A mapped view keeps the object, as a Win32 view keeps its section after CloseHandle: the
  // descriptor and its lock then stay until the process ends, along with the view.
  ~Mapping() override {
    if (!viewed_.load()) posix::ReleaseNamedObject(fd_, path_);
  }
  int fd() const { return fd_; }
  std::size_t size() const { return size_; }
  void MarkViewed() { viewed_.store(true); }

 private:
  int fd_;
  std::size_t size_;
  std::string path_;
  std::atomic<bool> viewed_{false};
};

}  // namespace

namespace posix {

Handle OpenMappingObject(const char* name, std::size_t size, bool create, bool* tooSmall) {
  if (tooSmall != nullptr) *tooSmall = false;
  if (!IsPlainObjectName(name) || size == 0) return nullptr;
  std::string path = RootedPath(std::string("/dev/shm/") + name);
  if (create && !MakeParentDirs(path)) return nullptr;
  ObjectRequest request;
  request.size = size;
  request.create = create;
  ObjectResult opened;
  if (!OpenNamedObject(path, request, &opened)) {
    if (tooSmall != nullptr) *tooSmall = opened.tooSmall;
    if (errno == ENOSPC) {
      // Without its bytes reserved the first write to a new page would kill the process.
      std::string text = "Cannot reserve " + std::to_string(size) + " bytes for the shared mapping " + path +
                         ": " + std::strerror(ENOSPC) + "; clients cannot see this agent";
      MessageBox(text.c_str(), "Shared objects", kMbIconWarning);
      errno = ENOSPC;
    }
    return nullptr;
  }
  auto* mapping = new (std::nothrow) Mapping(opened.fd, size, path);
  if (mapping == nullptr) {
    ReleaseNamedObject(opened.fd, path);
    return nullptr;
  }
  return ToHandle(mapping);
}

}  // namespace posix

Handle CreateNamedMapping(const char* name, std::size_t size) {
  return posix::OpenMappingObject(name, size, true, nullptr);
}

void* MapWholeView(Handle handle) {
  posix::HandleRef<Mapping> mapping(handle);
  if (!mapping) return nullptr;
  // Shrinking the object later cannot hurt us (the view is guarded), but a view made past its
  // end now would start out detached from it.
  struct stat st;
  if (fstat(mapping->fd(), &st) != 0) return nullptr;
  if (static_cast<std::uint64_t>(st.st_size) < mapping->size()) return nullptr;
  void* view = posix::MapGuardedView(mapping->fd(), mapping->size());
  if (view != nullptr) mapping->MarkViewed();
  return view;
}

bool MappingCutShort(Handle handle, std::size_t* keptBytes) {
  posix::HandleRef<Mapping> mapping(handle);
  struct stat st;
  if (!mapping || fstat(mapping->fd(), &st) != 0) return false;
  if (static_cast<std::uint64_t>(st.st_size) >= mapping->size()) return false;
  if (keptBytes != nullptr) *keptBytes = static_cast<std::size_t>(st.st_size);
  return true;
}

int RestoreMappingSize(Handle handle, void* view) {
  posix::HandleRef<Mapping> mapping(handle);
  if (!mapping || view == nullptr) return -1;
  // Growing the file back gives zero pages past the cut; reserving them means no later write
  // can fault for want of room.
  if (posix_fallocate(mapping->fd(), 0, static_cast<off_t>(mapping->size())) != 0) return -1;
  return posix::RemapGuardedView(view, mapping->fd(), mapping->size()) ? 0 : -1;
}

}  // namespace os
