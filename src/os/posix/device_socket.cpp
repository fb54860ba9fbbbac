// The device channel over a UNIX stream socket: one request frame, one response frame.
//
// A connection that breaks (closed, short, garbled or oversized frame, no answer in time) can
// no longer be trusted to be at a frame boundary: the call fails and the socket is dropped.
// The next call connects afresh, so a provider that restarts is found again, and a connection
// the provider closed while it was idle is replaced before a request goes out on it.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "contract/device_frames.h"
#include "os/posix/device_object.h"

namespace os::posix {
namespace {

namespace frames = vigil::frames;

// Long enough for any honest provider; it only bounds a hung one, which would otherwise hold
// the agent's service thread for good.
constexpr auto kExchangeTimeout = std::chrono::seconds(10);
using Clock = std::chrono::steady_clock;

int ConnectTo(const std::string& socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Waits until `fd` is ready for `events` or the deadline passes.
bool WaitReady(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd, events, 0};
    int rc = poll(&entry, 1, static_cast<int>(left.count()));
    if (rc > 0) return true;
    if (rc < 0 && errno != EINTR) return false;
  }
}

bool SendAll(int fd, const std::uint8_t* data, std::size_t size, Clock::time_point deadline) {
  while (size > 0) {
    if (!WaitReady(fd, POLLOUT, deadline)) return false;
    // MSG_NOSIGNAL: a provider that went away gives EPIPE here, never a SIGPIPE that would end
    // the agent.
    ssize_t sent = send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return false;
    }
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool ReceiveAll(int fd, std::uint8_t* data, std::size_t size, Clock::time_point deadline) {
  while (size > 0) {
    if (!WaitReady(fd, POLLIN, deadline)) return false;
    ssize_t got = recv(fd, data, size, MSG_DONTWAIT);
    if (got == 0) return false;  // closed mid-frame
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return false;
    }
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

// A provider sends nothing between answers: a connection that is readable before a request
// was closed by it (providers end idle connections) and is replaced before it is used.
bool ClosedWhileIdle(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) > 0;
}

class SocketDevice final : public DeviceObject {
 public:
  SocketDevice(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~SocketDevice() override {
    if (fd_ >= 0) close(fd_);
  }

  bool Control(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
               std::uint32_t outLen, std::uint32_t* returned) override {
    // Two threads share the handle (service thread, request thread): their frames must not
    // interleave on the one stream.
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0 && ClosedWhileIdle(fd_)) {
      close(fd_);
      fd_ = -1;
    }
    if (fd_ < 0) fd_ = ConnectTo(path_);
    if (fd_ < 0) return false;
    bool success = false;
    if (!Exchange(code, in, inLen, out, outLen, returned, &success)) {
      close(fd_);
      fd_ = -1;
      return false;
    }
    return success;
  }

 private:
  // False when the stream broke; *success is the provider's verdict on an intact exchange.
  bool Exchange(std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                std::uint32_t outLen, std::uint32_t* returned, bool* success) {
    Clock::time_point deadline = Clock::now() + kExchangeTimeout;
    std::vector<std::uint8_t> request(frames::kHeaderSize + inLen);
    frames::EncodeRequest({frames::kRequestMagic, code, inLen, outLen}, request.data());
    if (inLen != 0) std::memcpy(request.data() + frames::kHeaderSize, in, inLen);
    if (!SendAll(fd_, request.data(), request.size(), deadline)) return false;
    std::uint8_t headerBytes[frames::kHeaderSize];
    if (!ReceiveAll(fd_, headerBytes, sizeof headerBytes, deadline)) return false;
    const frames::ResponseHeader header = frames::DecodeResponse(headerBytes);
    if (!frames::ResponseFits(header, outLen)) return false;
    if (header.success == 0) return true;
    // Read into a scratch buffer: a frame cut short must leave the caller's buffer as it was.
    std::vector<std::uint8_t> payload(header.returned);
    if (!ReceiveAll(fd_, payload.data(), payload.size(), deadline)) return false;
    if (!payload.empty()) std::memcpy(out, payload.data(), payload.size());
    *returned = header.returned;
    *success = true;
    return true;
  }

  std::mutex mutex_;
  int fd_;
  std::string path_;
};

}  // namespace

DeviceObject* ConnectSocketDevice(const std::string& socketPath) {
  int fd = ConnectTo(socketPath);
  if (fd < 0) return nullptr;
  auto* device = new (std::nothrow) SocketDevice(fd, socketPath);
  if (device == nullptr) close(fd);
  return device;
}

}  // namespace os::posix
