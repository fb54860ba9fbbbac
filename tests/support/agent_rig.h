// The simulator and the agent as real processes in one sandbox root: what the end-to-end tests
// and the benchmarks that measure through the programs share. Every wait is bounded.
#pragma once

#include <signal.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace vigil::test {

// "hwgate-sim ctl ARGS" against the simulator of the current sandbox root.
RunResult SimulatorCtl(const std::vector<std::string>& args);
// One counter of "hwgate-sim ctl stats" (e.g. "commands_0x51"), or -1.
long SimulatorStat(const std::string& name);

// hwgate-sim on fixtures/scenarios/<scenario> in the current sandbox root (VIGIL_ROOT), for as
// long as the object lives (not copyable: it owns the process).
class Simulator {
 public:
  explicit Simulator(const std::string& scenario);
  ~Simulator();

  // True once the daemon said it serves: its ready line, not the socket file, which a run
  // before it may have left behind.
  bool ready() const { return ready_; }
  Process& process() { return process_; }

 private:
  Process process_;
  bool ready_ = false;
};

// User + system CPU seconds of a running process (/proc/PID/stat fields 14 and 15).
double ProcessCpuSeconds(pid_t pid);

// A fresh sandbox root, the simulator and the agent in it; a client's view of the agent's
// block. The agent is stopped before the simulator, both when the rig goes.
class AgentRig {
 public:
  // The root is <rootPrefix>XXXXXX in the temporary directory; nothing runs yet.
  explicit AgentRig(const std::string& rootPrefix = "vigil-test-");
  ~AgentRig();

  // StartSimulator, then StartAgent.
  int Start(const std::string& scenario);
  // Imports fixtures/eventtables/<model>.reg into the sandbox's registry, as vigilctl does.
  int ImportEventTables(const std::string& model);
  // Starts hwgate-sim on fixtures/scenarios/<scenario> and waits until it serves: the agent's
  // driver open retries only a second apart, so the driver must be there before the agent.
  int StartSimulator(const std::string& scenario);
  // Starts the agent and waits for its block and its completed start-up.
  int StartAgent();
  // Ends the agent with `signo` and waits for its exit (0 when it has exited, whatever its
  // status; nothing to do when it is not running).
  int StopAgent(int signo = SIGTERM);
  int RestartAgent(int signo = SIGTERM);

  // The block as a client maps it (mapped once, kept across restarts); null while the agent
  // has not made it.
  uint8_t* block() const { return block_; }
  // The agent of the last StartAgent.
  Process& agent() { return *agent_; }
  const Sandbox& sandbox() const { return sandbox_; }
  // What the simulator and the agent wrote to stderr so far, for failure messages.
  std::string Log() const;

  RunResult Vigilctl(const std::vector<std::string>& args) const;
  RunResult Ctl(const std::vector<std::string>& args) const { return SimulatorCtl(args); }
  long Stat(const std::string& name) const { return SimulatorStat(name); }

 private:
  Sandbox sandbox_;
  std::unique_ptr<Simulator> simulator_;
  std::unique_ptr<Process> agent_;
  uint8_t* block_ = nullptr;
};

}  // namespace vigil::test
