// The simulator and the agent as real processes in a throw-away sandbox root, for the
// benchmarks that measure through them.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vigil::bench {

// Starts `program` with the current environment; `quiet` sends its standard output to
// /dev/null. -1 on failure.
pid_t Spawn(const std::string& program, std::vector<std::string> args, bool quiet = false);
// SIGTERM and reap; nothing for pid <= 0.
void Stop(pid_t pid);
bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds limit);
// build/<preset>/bin/<name>.
std::string BinaryPath(const std::string& name);

// User + system CPU seconds of a running process (/proc/PID/stat fields 14 and 15).
double ProcessCpuSeconds(pid_t pid);

// A loopback TCP port free at the time of the call (0 when none could be had).
int FreeLoopbackPort();

struct AgentRig {
  std::string root;
  pid_t simulator = -1;
  pid_t agent = -1;
  uint8_t* block = nullptr;
};

// Makes a sandbox root (VIGIL_ROOT for this process and its children), starts hwgate-sim with
// fixtures/scenarios/<scenario> and the agent, and waits for the agent's start-up. False when
// either did not come up; TearDownRig cleans up in both cases.
bool SetUpRig(const std::string& scenario, AgentRig* rig);
void TearDownRig(AgentRig* rig);

}  // namespace vigil::bench
