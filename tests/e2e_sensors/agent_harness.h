// One sandbox with the simulator, the agent and vigilctl, for the end-to-end sensor tests.
#pragma once

#include <signal.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace vigil::test {

class AgentHarness {
 public:
  // Starts hwgate-sim with fixtures/scenarios/<scenario> and waits for its socket, then the
  // agent, and waits until its start-up is complete. Check started() afterwards.
  // `beforeAgent` (may be empty) runs on the sandbox between the two, to plant what the agent
  // should find there.
  explicit AgentHarness(const std::string& scenario,
                        const std::function<void(const Sandbox&)>& beforeAgent = {});
  ~AgentHarness();

  bool started() const { return block_ != nullptr; }
  uint8_t* block() const { return block_; }
  Process& agent() { return *agent_; }

  // Stops the agent (SIGTERM, or ends it with `signo`) and starts it again; true once it has
  // started again.
  bool RestartAgent(int signo = SIGTERM);

  RunResult Vigilctl(const std::vector<std::string>& args);
  RunResult Ctl(const std::vector<std::string>& args);
  // One counter of "hwgate-sim ctl stats" (e.g. "commands_0x51"), or -1.
  long Stat(const std::string& name);

  const Sandbox& sandbox() const { return sandbox_; }

 private:
  bool StartAgent();

  Sandbox sandbox_;
  std::unique_ptr<Process> simulator_;
  std::unique_ptr<Process> agent_;
  uint8_t* block_ = nullptr;
};

}  // namespace vigil::test
