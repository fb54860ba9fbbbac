#include "daemon.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>
#include <iostream>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/core.h"
#include "ctl_commands.h"
#include "os/device_protocol.h"
#include "os/posix/object_access.h"
#include "scenario_loader.h"
#include "sim_paths.h"
#include "unix_socket.h"

namespace hwsim {

namespace {

namespace wire = os::device;

constexpr int kMidMessageTimeoutMs = 5000;  // a peer stalled this long inside a frame is gone
constexpr size_t kMaxConnections = 64;
constexpr size_t kMaxControlLine = 4096;

class Daemon {
 public:
  explicit Daemon(std::unique_ptr<Core> core) : core_(std::move(core)) {}

  int Run();

 private:
  struct Connection {
    int fd;
    bool done = false;
    std::thread thread;
  };

  void AcceptLoop();
  void Accept(int listener, bool device);
  void ServeDevice(int fd);
  bool ServeFrame(int fd);
  void ServeControl(int fd);
  void ReapFinished();

  std::unique_ptr<Core> core_;
  std::mutex coreLock_;
  int deviceListener_ = -1;
  int controlListener_ = -1;
  int wake_[2] = {-1, -1};
  std::mutex connectionsLock_;
  std::list<Connection> connections_;
};

void Daemon::ServeDevice(int fd) {
  while (ServeFrame(fd)) {
  }
}

// One exchange. False ends the connection: the peer closed, or broke the frame format.
bool Daemon::ServeFrame(int fd) {
  wire::RequestHeader request;
  if (ReadFull(fd, &request, sizeof(request), true, kMidMessageTimeoutMs) != ReadResult::kOk) return false;
  if (request.magic != wire::kRequestMagic || request.inLength > wire::kMaxPayload ||
      request.outLength > wire::kMaxPayload) {
    return false;
  }
  std::vector<uint8_t> buffer(std::max(request.inLength, request.outLength), 0);
  if (request.inLength != 0 &&
      ReadFull(fd, buffer.data(), request.inLength, false, kMidMessageTimeoutMs) != ReadResult::kOk) {
    return false;
  }
  uint32_t returned = 0;
  bool ok;
  {
    std::lock_guard<std::mutex> lock(coreLock_);
    ok = Serve(*core_, request.code, buffer.data(), request.inLength, request.outLength, &returned);
  }
  if (returned > request.outLength) returned = request.outLength;
  wire::ResponseHeader response = {wire::kResponseMagic, ok ? 1u : 0u, ok ? returned : 0u, 0};
  if (!WriteAll(fd, &response, sizeof(response))) return false;
  return !ok || returned == 0 || WriteAll(fd, buffer.data(), returned);
}

// One command line in, "ok" or "error: ..." and the output lines back, then the end.
void Daemon::ServeControl(int fd) {
  std::string line;
  char c;
  while (line.size() <= kMaxControlLine) {
    if (ReadFull(fd, &c, 1, false, kMidMessageTimeoutMs) != ReadResult::kOk || c == '\n') break;
    line += c;
  }
  std::string reply;
  bool ok = false;
  if (line.size() > kMaxControlLine) {
    reply = "command line longer than " + std::to_string(kMaxControlLine) + " characters";
  } else {
    std::lock_guard<std::mutex> lock(coreLock_);
    ok = RunControlCommand(*core_, line, static_cast<uint32_t>(std::time(nullptr)), &reply);
  }
  std::string text = ok ? "ok\n" + reply : "error: " + reply + "\n";
  WriteAll(fd, text.data(), text.size());
}

void Daemon::ReapFinished() {
  std::lock_guard<std::mutex> lock(connectionsLock_);
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (it->done) {
      it->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void Daemon::Accept(int listener, bool device) {
  int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  ReapFinished();
  std::lock_guard<std::mutex> lock(connectionsLock_);
  if (connections_.size() >= kMaxConnections) {
    close(fd);
    return;
  }
  Connection& connection = connections_.emplace_back();
  connection.fd = fd;
  connection.thread = std::thread([this, &connection, device] {
    if (device) {
      ServeDevice(connection.fd);
    } else {
      ServeControl(connection.fd);
    }
    std::lock_guard<std::mutex> lock(connectionsLock_);
    close(connection.fd);
    connection.fd = -1;
    connection.done = true;
  });
}

void Daemon::AcceptLoop() {
  pollfd fds[3] = {{wake_[0], POLLIN, 0}, {deviceListener_, POLLIN, 0}, {controlListener_, POLLIN, 0}};
  while (true) {
    if (poll(fds, 3, -1) < 0) continue;
    if (fds[0].revents != 0) return;
    if (fds[1].revents & POLLIN) Accept(deviceListener_, true);
    if (fds[2].revents & POLLIN) Accept(controlListener_, false);
  }
}

int Daemon::Run() {
  // Signals are taken by sigwait on this thread alone; a vanished peer is a failed write.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::string error;
  std::string devicePath = DeviceSocketPath(), controlPath = ControlSocketPath();
  // The control socket changes what the platform reports (up to a power-off record): its
  // owner alone may use it. The agent and its group reach the device socket.
  controlListener_ = ListenUnix(controlPath, os::posix::kOwnerOnlyMode, &error);
  if (controlListener_ >= 0) deviceListener_ = ListenUnix(devicePath, os::posix::kObjectMode, &error);
  if (deviceListener_ < 0 || pipe2(wake_, O_CLOEXEC) != 0) {
    std::cerr << "hwgate-sim: " << error << "\n";
    if (controlListener_ >= 0) unlink(controlPath.c_str());
    return 1;
  }
  std::thread acceptor([this] { AcceptLoop(); });
  std::cout << "ready " << devicePath << std::endl;

  int signo = 0;
  sigwait(&stopSignals, &signo);

  // Stop taking connections, then wake every connection thread and wait for it.
  unlink(devicePath.c_str());
  unlink(controlPath.c_str());
  (void)!write(wake_[1], "x", 1);
  acceptor.join();
  close(deviceListener_);
  close(controlListener_);
  {
    std::lock_guard<std::mutex> lock(connectionsLock_);
    for (Connection& connection : connections_) {
      if (connection.fd >= 0) shutdown(connection.fd, SHUT_RDWR);
    }
  }
  for (Connection& connection : connections_) connection.thread.join();
  connections_.clear();
  std::cout << "stopped" << std::endl;
  return 0;
}

}  // namespace

int RunDaemon(const std::string& scenarioPath) {
  auto core = std::make_unique<Core>();
  std::string error;
  if (!LoadScenarioFile(scenarioPath.c_str(), core.get(), &error)) {
    std::cerr << "hwgate-sim: bad scenario: " << error << "\n";
    return 2;
  }
  return Daemon(std::move(core)).Run();
}

}  // namespace hwsim
