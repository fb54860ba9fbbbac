#include "support/rig.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"

extern char** environ;

namespace vigil::bench {

pid_t Spawn(const std::string& program, std::vector<std::string> args, bool quiet) {
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
  for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
    if (condition()) return true;
  }
  return false;
}

std::string BinaryPath(const std::string& name) { return std::string(VIGIL_BINARY_DIR) + "/bin/" + name; }

bool SetUpRig(const std::string& scenario, AgentRig* rig) {
  char pattern[] = "/tmp/vigil-bench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  rig->root = pattern;
  setenv("VIGIL_ROOT", rig->root.c_str(), 1);
  rig->simulator =
      Spawn(BinaryPath("hwgate-sim"), {"--scenario", std::string(VIGIL_SOURCE_DIR) + "/fixtures/scenarios/" + scenario});
  if (!WaitFor([&] { return std::filesystem::exists(rig->root + "/run/hwgate.sock"); }, std::chrono::seconds(10))) {
    return false;
  }
  rig->agent = Spawn(BinaryPath("vigilagent"), {});
  return WaitFor(
      [&] {
        if (rig->block == nullptr) {
          os::Handle mapping = os::OpenNamedMapping(block::kName, block::kSize, nullptr);
          if (mapping == nullptr) return false;
          rig->block = static_cast<uint8_t*>(os::MapWholeView(mapping));
          if (rig->block == nullptr) return false;
        }
        return block::LoadU8(rig->block, block::kStartupComplete) == 1;
      },
      std::chrono::seconds(20));
}

void TearDownRig(AgentRig* rig) {
  Stop(rig->agent);
  Stop(rig->simulator);
  if (!rig->root.empty()) std::filesystem::remove_all(rig->root);
}

double ProcessCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  unsigned long long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::stoull(field);
  }
  return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd >= 0) close(fd);
  return port;
}

}  // namespace vigil::bench
