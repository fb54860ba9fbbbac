#include "agent_harness.h"

#include <signal.h>

#include <sstream>

#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "support/agent_block.h"

namespace vigil::test {

using namespace std::chrono_literals;

AgentHarness::AgentHarness(const std::string& scenario) {
  simulator_ = std::make_unique<Process>(BinaryPath("hwgate-sim"),
                                         std::vector<std::string>{"--scenario", SourcePath("fixtures/scenarios/" + scenario)});
  // The agent's driver open retries a second apart: it must find the socket at once.
  if (!WaitUntil([&] { return sandbox_.Exists("run/hwgate.sock"); }, 10s)) return;
  StartAgent();
}

AgentHarness::~AgentHarness() {
  if (agent_ && agent_->Running()) {
    agent_->Signal(SIGTERM);
    agent_->Wait(10s);
  }
  if (simulator_ && simulator_->Running()) {
    simulator_->Signal(SIGTERM);
    simulator_->Wait(5s);
  }
}

bool AgentHarness::StartAgent() {
  agent_ = std::make_unique<Process>(BinaryPath("vigilagent"), std::vector<std::string>{});
  if (block_ == nullptr) block_ = WaitForAgentBlock(10s);
  if (block_ == nullptr) return false;
  bool up = WaitUntil([&] { return block::LoadU8(block_, block::kStartupComplete) == 1; }, 15s);
  if (!up) block_ = nullptr;
  return up;
}

bool AgentHarness::RestartAgent() {
  agent_->Signal(SIGTERM);
  if (agent_->Wait(15s) < 0) return false;
  // The flag is never cleared by the agent; clear it to see the new start-up complete.
  if (block_ != nullptr) block::StoreU8(block_, block::kStartupComplete, 0);
  return StartAgent();
}

RunResult AgentHarness::Vigilctl(const std::vector<std::string>& args) {
  return Run(BinaryPath("vigilctl"), args, 20s);
}

RunResult AgentHarness::Ctl(const std::vector<std::string>& args) {
  std::vector<std::string> full{"ctl"};
  full.insert(full.end(), args.begin(), args.end());
  return Run(BinaryPath("hwgate-sim"), full, 10s);
}

long AgentHarness::Stat(const std::string& name) {
  RunResult r = Ctl({"stats"});
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(name + "=", 0) == 0) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

}  // namespace vigil::test
