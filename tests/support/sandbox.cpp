#include "support/sandbox.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace vigil::test {

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string MakeTempDir(const std::string& prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

// The current environment with `overrides` put in place of (or beside) its own entries.
std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& overrides) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (overrides.count(text.substr(0, text.find('='))) == 0) entries.push_back(text);
  }
  for (const auto& [name, value] : overrides) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> NullTerminated(std::vector<std::string>* strings) {
  std::vector<char*> pointers;
  for (auto& s : *strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

Sandbox::Sandbox(const std::string& prefix) : root_(MakeTempDir(prefix)) {
  if (const char* prev = std::getenv("VIGIL_ROOT")) {
    hadPreviousRoot_ = true;
    previousRoot_ = prev;
  }
  setenv("VIGIL_ROOT", root_.c_str(), 1);
}

Sandbox::~Sandbox() {
  if (hadPreviousRoot_) {
    setenv("VIGIL_ROOT", previousRoot_.c_str(), 1);
  } else {
    unsetenv("VIGIL_ROOT");
  }
  std::error_code ec;
  fs::remove_all(root_, ec);
}

void Sandbox::OpenToOtherUsers() const {
  chmod(root_.c_str(), 0755);
  for (const char* dir : {"dev", "dev/shm", "run"}) fs::create_directories(Path(dir));
  chmod(Path("dev").c_str(), 0755);
  chmod(Path("dev/shm").c_str(), 01777);
  chmod(Path("run").c_str(), 0755);
}

std::string Sandbox::Path(const std::string& relative) const { return root_ + "/" + relative; }

std::string Sandbox::ReadFile(const std::string& relative) const { return Slurp(Path(relative)); }

void Sandbox::WriteFile(const std::string& relative, const std::string& contents) const {
  fs::path p = Path(relative);
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << contents;
}

bool Sandbox::Exists(const std::string& relative) const { return fs::exists(Path(relative)); }

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env) {
  std::string dir = MakeTempDir("vigil-proc-");
  outPath_ = dir + "/stdout";
  errPath_ = dir + "/stderr";
  std::vector<std::string> argvStorage{program};
  argvStorage.insert(argvStorage.end(), args.begin(), args.end());
  std::vector<std::string> envStorage = ChildEnvironment(env);
  std::vector<char*> argv = NullTerminated(&argvStorage);
  std::vector<char*> envp = NullTerminated(&envStorage);
  // posix_spawn rather than fork: test programs run server threads, and a forked child of a
  // threaded parent may not even allocate before it execs.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    reaped_ = true;
    status_ = 127;
  }
}

Process::~Process() {
  if (!reaped_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ec;
  fs::remove_all(fs::path(outPath_).parent_path(), ec);
}

bool Process::Signal(int signo) { return !reaped_ && kill(pid_, signo) == 0; }

int Process::Wait(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!reaped_) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status_;
}

bool Process::Running() { return Wait(std::chrono::milliseconds(0)) == -1; }

int Process::Stop(std::chrono::milliseconds timeout) {
  Signal(SIGTERM);
  return Wait(timeout);
}

std::string Process::Stdout() const { return Slurp(outPath_); }
std::string Process::Stderr() const { return Slurp(errPath_); }

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              std::chrono::milliseconds timeout, const std::map<std::string, std::string>& env) {
  Process p(program, args, env);
  int status = p.Wait(timeout);
  return RunResult{status, p.Stdout(), p.Stderr()};
}

std::string BinaryPath(const std::string& name) { return std::string(VIGIL_BINARY_DIR) + "/bin/" + name; }

int BindLoopback(int type, uint16_t& port) {
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

int FreeLoopbackPort(int type) {
  uint16_t port = 0;
  const int fd = BindLoopback(type, port);
  if (fd < 0) return 0;
  close(fd);
  return port;
}

}  // namespace vigil::test
