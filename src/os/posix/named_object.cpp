#include "os/posix/named_object.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <limits>

#include "os/posix/object_access.h"

namespace os::posix {
namespace {

constexpr int kOpenAttempts = 16;
// A creator or a last closer holds the exclusive lock only for a few system calls; a process
// that keeps it longer is stuck or hostile, and we give up rather than wait on it.
constexpr int kSharedLockTries = 500;
constexpr long kSharedLockPauseNs = 1000000;

// Whether `path` still names the file open on `fd`: a last closer may have removed it, or a
// creator replaced it, between our open and our lock.
bool StillNamed(int fd, const std::string& path) {
  struct stat opened{}, named{};
  return fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

// Whole-file locks of the open file description (OFD locks): like flock they belong to the
// descriptor and go with the holder's death, and unlike flock an exclusive lock turns into a
// shared one atomically, so no other process can slip in between and take a half-made object
// for a leftover.
bool TryLock(int fd, short type) {
  struct flock lock{};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool TryLockExclusive(int fd) { return TryLock(fd, F_WRLCK); }

bool LockShared(int fd) {
  for (int i = 0; i < kSharedLockTries; ++i) {
    if (TryLock(fd, F_RDLCK)) return true;
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) return false;
    timespec pause{0, kSharedLockPauseNs};
    nanosleep(&pause, nullptr);
  }
  errno = EBUSY;
  return false;
}

bool Reserve(int fd, std::size_t size) {
  if (size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    errno = EFBIG;
    return false;
  }
  int rc = posix_fallocate(fd, 0, static_cast<off_t>(size));
  errno = rc;
  return rc == 0;
}

// Empties the file we hold exclusively and gives it our access, our size and its first bytes.
bool StartAfresh(int fd, const ObjectRequest& request) {
  if (ftruncate(fd, 0) != 0 || !SetObjectAccess(fd, kObjectMode) || !Reserve(fd, request.size)) return false;
  if (request.initial == nullptr || request.initialSize == 0) return true;
  ssize_t written = pwrite(fd, request.initial, request.initialSize, 0);
  if (written == static_cast<ssize_t>(request.initialSize)) return true;
  if (written >= 0) errno = EIO;
  return false;
}

// Makes the object under a private name and moves it into place complete (never over an
// existing one), so no process ever opens it half made. False with errno EEXIST when another creator got there first.
int CreateNew(const std::string& path, const ObjectRequest& request) {
  static std::atomic<unsigned> counter{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::string temp = path + ".new." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1)) +
                     "." + std::to_string(now.tv_nsec);
  int fd = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  bool made = TryLockExclusive(fd) && StartAfresh(fd, request) && renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
  int saved = errno;
  if (!made) unlink(temp.c_str());
  if (!made || !LockShared(fd)) {
    if (made) saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

bool Fail(int fd) {
  int saved = errno;
  close(fd);
  errno = saved;
  return false;
}

}  // namespace

bool OpenNamedObject(const std::string& path, const ObjectRequest& request, ObjectResult* result) {
  *result = ObjectResult{};
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    // O_NONBLOCK: a FIFO planted under the name must not stall us before we can look at it.
    int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      if (!request.create) return false;
      fd = CreateNew(path, request);
      if (fd >= 0) {
        result->fd = fd;
        result->fresh = true;
        return true;
      }
      if (errno == EEXIST) continue;  // another creator won: open theirs
      return false;
    }
    struct stat st{};
    bool trusted = fd >= 0 && fstat(fd, &st) == 0 && IsTrustedObject(st);
    if (!trusted) {
      // A link (ELOOP), a directory, a FIFO, a file someone else owns or may change.
      if (fd < 0 && errno != ELOOP && errno != EISDIR && errno != ENXIO) return false;
      if (fd >= 0) close(fd);
      if (!request.create) {
        errno = EPERM;  // not "denied": it is there, but it is not the agent's
        return false;
      }
      if (!RemoveUntrusted(path, "it is not a file of this agent's user with at most owner and group access")) {
        return false;
      }
      continue;
    }
    if (TryLockExclusive(fd)) {
      // Nobody holds it: every process that used it has gone.
      if (!request.create) {
        close(fd);
        errno = ENOENT;
        return false;
      }
      if (!StartAfresh(fd, request)) return Fail(fd);
      if (!StillNamed(fd, path)) {
        close(fd);
        continue;
      }
      if (!LockShared(fd)) return Fail(fd);  // converts our exclusive lock
      result->fd = fd;
      result->fresh = true;
      return true;
    }
    if (errno != EAGAIN && errno != EACCES) return Fail(fd);
    if (!LockShared(fd)) {
      // Only a process with a stuck or hostile hand keeps it exclusively this long; a creator
      // makes its own object instead of waiting on it (that process keeps the old one).
      if (errno != EBUSY || !request.create) return Fail(fd);
      close(fd);
      if (!RemoveUntrusted(path, "another process keeps it locked")) return false;
      continue;
    }
    if (!StillNamed(fd, path)) {
      close(fd);
      continue;
    }
    if (fstat(fd, &st) != 0) return Fail(fd);
    // A creator takes back an object of its own that a writer cut short: it holds what the
    // clients attached to it hold, and grows again below. An opener cannot use it.
    if (static_cast<std::uint64_t>(st.st_size) < request.size && !request.create) {
      close(fd);
      result->tooSmall = true;
      errno = EMSGSIZE;
      return false;
    }
    // A creator reserves the space (growing a cut object back); an object made by some other
    // means might be sparse.
    if (request.create && !Reserve(fd, request.size)) return Fail(fd);
    result->fd = fd;
    return true;
  }
  errno = EAGAIN;
  return false;
}

void ReleaseNamedObject(int fd, const std::string& path) {
  if (fd < 0) return;
  // Exclusive means no other process holds it: ours was the last use, so the name goes.
  if (TryLockExclusive(fd) && StillNamed(fd, path)) unlink(path.c_str());
  close(fd);
}

}  // namespace os::posix
