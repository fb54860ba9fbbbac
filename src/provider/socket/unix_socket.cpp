#include "provider/socket/unix_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "os/os.h"

namespace hwgate {

namespace {

bool MakeAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof(*address));
  address->sun_family = AF_UNIX;
  if (path.size() >= sizeof(address->sun_path)) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

int ConnectUnix(const std::string& path) {
  sockaddr_un address;
  if (!MakeAddress(path, &address)) return -1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

int ListenUnix(const std::string& path, os::SocketAccess access, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  if (ec) {
    *error = "cannot create the directory of " + path + ": " + ec.message();
    return -1;
  }
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    int probe = ConnectUnix(path);
    if (probe >= 0) {
      close(probe);
      *error = path + " is served by a running provider";
      return -1;
    }
    unlink(path.c_str());
  }
  std::string temporary = path + ".new" + std::to_string(getpid());
  unlink(temporary.c_str());
  sockaddr_un address;
  int fd = -1;
  if (!MakeAddress(temporary, &address) ||
      (fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) < 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      !os::SetSocketAccess(temporary.c_str(), access) || listen(fd, 16) != 0 ||
      rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot listen on " + path + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    unlink(temporary.c_str());
    return -1;
  }
  return fd;
}

ReadResult ReadFull(int fd, void* buffer, size_t count, bool idleOk, int timeoutMs) {
  auto* at = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    if (done != 0 || !idleOk) {
      pollfd p = {fd, POLLIN, 0};
      int ready = poll(&p, 1, timeoutMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return ReadResult::kBroken;
    }
    ssize_t n = read(fd, at + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return (n == 0 && done == 0) ? ReadResult::kClosed : ReadResult::kBroken;
    done += static_cast<size_t>(n);
  }
  return ReadResult::kOk;
}

int WriteAll(int fd, const void* buffer, size_t count) {
  const auto* at = static_cast<const char*>(buffer);
  while (count != 0) {
    ssize_t n = send(fd, at, count, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    at += n;
    count -= static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace hwgate
