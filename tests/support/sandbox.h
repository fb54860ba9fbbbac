// Test support: a fresh sandbox root per test, child processes, polling waits, a free port.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/source_path.h"
#include "support/wait_until.h"

namespace vigil::test {

// A fresh temporary directory, <prefix>XXXXXX, set as VIGIL_ROOT for this process (and
// inherited by children) while the object lives; removed with its contents afterwards.
class Sandbox {
 public:
  explicit Sandbox(const std::string& prefix = "vigil-test-");
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& root() const { return root_; }
  // root + "/" + relative path (relative to the sandbox root, e.g. "run/vigilagent/status").
  std::string Path(const std::string& relative) const;
  std::string ReadFile(const std::string& relative) const;
  void WriteFile(const std::string& relative, const std::string& contents) const;
  bool Exists(const std::string& relative) const;
  // Lets other users reach the root and use dev/shm and run as on a real system (dev/shm
  // world-writable and sticky), so that only the objects' own access keeps them out.
  void OpenToOtherUsers() const;

 private:
  std::string root_;
  std::string previousRoot_;
  bool hadPreviousRoot_ = false;
};

// A child process started with the current environment plus `env`, stdin from /dev/null,
// stdout and stderr captured to files in a temporary directory. A program that cannot be
// started counts as one that exited with status 127.
class Process {
 public:
  Process(const std::string& program, const std::vector<std::string>& args,
          const std::map<std::string, std::string>& env = {});
  ~Process();  // kills (SIGKILL) and reaps a child that is still running
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  bool Signal(int signo);
  // Waits for the exit; returns the exit status (128 + signal when killed), or -1 on timeout.
  int Wait(std::chrono::milliseconds timeout);
  bool Running();
  // SIGTERM, then waits up to `timeout`: the exit status, or -1 (the destructor then kills it).
  int Stop(std::chrono::milliseconds timeout);
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  bool reaped_ = false;
  std::string outPath_;
  std::string errPath_;
};

// Runs a program to completion; returns its exit status and captures its output.
struct RunResult {
  int status;
  std::string out;
  std::string err;
};
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              std::chrono::milliseconds timeout = std::chrono::seconds(30),
              const std::map<std::string, std::string>& env = {});

// Path of a built executable (build/bin/<name>).
std::string BinaryPath(const std::string& name);

// A socket of `type` (SOCK_STREAM, SOCK_DGRAM) bound to a port the kernel picks on 127.0.0.1,
// with that port in `port`; -1 when none could be had. The caller closes it.
int BindLoopback(int type, uint16_t& port);

// A loopback port of `type` free at the time of the call (0 when none could be had).
int FreeLoopbackPort(int type = SOCK_STREAM);

}  // namespace vigil::test
