#include "e2e_service/silent_driver.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "os/device_protocol.h"

namespace vigil::test {

namespace {

constexpr int kPollMs = 20;

// Reads exactly `length` bytes, giving up when the peer leaves or the driver stops.
bool ReadAll(int fd, void* buffer, std::size_t length, const std::atomic<bool>& stop) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    pollfd pfd{fd, POLLIN, 0};
    if (stop.load()) return false;
    if (poll(&pfd, 1, kPollMs) <= 0) continue;
    const ssize_t n = read(fd, p, length);
    if (n <= 0) return false;
    p += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

SilentDriver::SilentDriver(const std::string& socketPath) {
  std::filesystem::create_directories(std::filesystem::path(socketPath).parent_path());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) return;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listenFd_, 4) != 0) {
    close(listenFd_);
    listenFd_ = -1;
    return;
  }
  thread_ = std::thread([this] { Serve(); });
}

SilentDriver::~SilentDriver() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) close(listenFd_);
}

void SilentDriver::Serve() {
  while (!stop_.load()) {
    pollfd pfd{listenFd_, POLLIN, 0};
    if (poll(&pfd, 1, kPollMs) <= 0) continue;
    const int fd = accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    // One connection at a time is enough: the agent keeps its one driver handle.
    ServeConnection(fd);
    close(fd);
  }
}

void SilentDriver::ServeConnection(int fd) {
  os::device::RequestHeader request{};
  while (ReadAll(fd, &request, sizeof request, stop_)) {
    if (request.magic != os::device::kRequestMagic || request.inLength > os::device::kMaxPayload) return;
    std::vector<uint8_t> input(request.inLength);
    if (!input.empty() && !ReadAll(fd, input.data(), input.size(), stop_)) return;
    const os::device::ResponseHeader response{os::device::kResponseMagic, 0, 0, 0};
    if (write(fd, &response, sizeof response) != static_cast<ssize_t>(sizeof response)) return;
    exchanges_.fetch_add(1);
  }
}

}  // namespace vigil::test
