#include "daemon.h"

#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>

#include "contract/driver_protocol.h"
#include "core/core.h"
#include "os/os.h"
#include "provider/socket/frame_server.h"
#include "provider/socket/socket_server.h"
#include "provider/socket/unix_socket.h"
#include "scenario/ctl_commands.h"
#include "scenario/scenario_loader.h"
#include "sim_paths.h"

namespace hwsim {

namespace {

constexpr int kMidMessageTimeoutMs = 5000;  // a peer stalled this long inside a line is gone
constexpr size_t kMaxControlLine = 4096;

class Daemon {
 public:
  explicit Daemon(std::unique_ptr<Core> core) : core_(std::move(core)) {}

  int Run();

 private:
  bool ServeCall(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength,
                 uint32_t* returned);
  void ServeControl(int fd);

  std::unique_ptr<Core> core_;
  std::mutex coreLock_;
};

bool Daemon::ServeCall(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength,
                       uint32_t* returned) {
  std::lock_guard<std::mutex> lock(coreLock_);
  return Serve(*core_, code, buffer, inLength, outLength, returned);
}

// One command line in, "ok" or "error: ..." and the output lines back, then the end.
void Daemon::ServeControl(int fd) {
  std::string line;
  char c;
  while (line.size() <= kMaxControlLine) {
    if (hwgate::ReadFull(fd, &c, 1, false, kMidMessageTimeoutMs) != hwgate::ReadResult::kOk || c == '\n') break;
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
  hwgate::WriteAll(fd, text.data(), text.size());
}

int Daemon::Run() {
  hwgate::SocketServer server;
  std::string error;
  std::string devicePath = os::DeviceSocketPath(vigil::kDriverPath);
  hwgate::DeviceCall call = [this](uint32_t code, uint8_t* buffer, uint32_t inLength,
                                   uint32_t outLength, uint32_t* returned) {
    return ServeCall(code, buffer, inLength, outLength, returned);
  };
  // The control socket changes what the platform reports (up to a power-off record): its
  // owner alone may use it. The agent and its group reach the device socket.
  if (server.Listen(ControlSocketPath(), os::SocketAccess::kOwnerOnly, [this](int fd) { ServeControl(fd); }, &error) != 0 ||
      server.Listen(devicePath, os::SocketAccess::kOwnerAndGroup, [call](int fd) { hwgate::ServeDeviceConnection(fd, call); },
                    &error) != 0) {
    std::cerr << "hwgate-sim: " << error << "\n";
    return 1;
  }
  if (server.Run([&devicePath] { std::cout << "ready " << devicePath << std::endl; }) < 0) {
    std::cerr << "hwgate-sim: cannot start serving\n";
    return 1;
  }
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
