// Child processes for the Windows tests: the peer (windows_peer.exe) and the agent itself, both
// found beside the test program.
#pragma once

#include <string>

namespace vigil::wintest {

// Full path of a program in the test program's own folder.
std::string SiblingProgram(const char* fileName);

// A process started with CreateProcessA; killed when still running at destruction.
class ChildProcess {
 public:
  explicit ChildProcess(const std::string& commandLine);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return process_ != nullptr; }
  void* NativeHandle() const { return process_; }
  // The exit code, or -1 when it has not ended within `timeoutMs`.
  long Wait(unsigned long timeoutMs);

 private:
  void* process_ = nullptr;
};

// Runs the peer with `arguments` and waits for its exit code (-1 on time-out).
long RunPeer(const std::string& arguments, unsigned long timeoutMs = 30000);

// A name no other test (or earlier run in the same Wine prefix) uses.
std::string UniqueName(const char* stem);

// Starts the peer to make an object first, and waits until it reports it holds it. Release()
// (or destruction) lets it go; ExitCode() then gives the peer's verdict.
class PeerHolding {
 public:
  PeerHolding(const char* kind, const std::string& name, const std::string& extra = "");
  ~PeerHolding();
  PeerHolding(const PeerHolding&) = delete;
  PeerHolding& operator=(const PeerHolding&) = delete;

  bool Ready() const { return ready_; }
  long Release();

 private:
  void* readyEvent_ = nullptr;
  void* releaseEvent_ = nullptr;
  ChildProcess* child_ = nullptr;
  bool ready_ = false;
  long exitCode_ = -1;
};

}  // namespace vigil::wintest
