#include "support/sandbox.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace vigil::test {

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string MakeTempDir(const char* prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

}  // namespace

Sandbox::Sandbox() : root_(MakeTempDir("vigil-test-")) {
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
  std::vector<std::string> argvStorage;
  argvStorage.push_back(program);
  argvStorage.insert(argvStorage.end(), args.begin(), args.end());
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
    int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    for (auto& a : argvStorage) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
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

std::string Process::Stdout() const { return Slurp(outPath_); }
std::string Process::Stderr() const { return Slurp(errPath_); }

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              std::chrono::milliseconds timeout, const std::map<std::string, std::string>& env) {
  Process p(program, args, env);
  int status = p.Wait(timeout);
  return RunResult{status, p.Stdout(), p.Stderr()};
}

std::string BinaryPath(const std::string& name) { return std::string(VIGIL_BINARY_DIR) + "/bin/" + name; }

}  // namespace vigil::test
