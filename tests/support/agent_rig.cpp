#include "support/agent_rig.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "support/agent_block.h"

namespace vigil::test {

using namespace std::chrono_literals;

RunResult SimulatorCtl(const std::vector<std::string>& args) {
  std::vector<std::string> full{"ctl"};
  full.insert(full.end(), args.begin(), args.end());
  return Run(BinaryPath("hwgate-sim"), full, 10s);
}

long SimulatorStat(const std::string& name) {
  std::istringstream in(SimulatorCtl({"stats"}).out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(name + "=", 0) == 0) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

Simulator::Simulator(const std::string& scenario)
    : process_(BinaryPath("hwgate-sim"), {"--scenario", SourcePath("fixtures/scenarios/" + scenario)}) {
  ready_ = WaitUntil([&] { return process_.Stdout().find("ready") != std::string::npos || !process_.Running(); }, 10s) &&
           process_.Running();
}

Simulator::~Simulator() { process_.Stop(5s); }

AgentRig::AgentRig(const std::string& rootPrefix) : sandbox_(rootPrefix) {}

AgentRig::~AgentRig() {
  StopAgent();
  simulator_.reset();
}

int AgentRig::Start(const std::string& scenario) {
  if (StartSimulator(scenario) != 0) return -1;
  return StartAgent();
}

int AgentRig::ImportEventTables(const std::string& model) {
  const RunResult r = Vigilctl({"reg", "import", SourcePath("fixtures/eventtables/" + model + ".reg")});
  return r.status == 0 ? 0 : -1;
}

int AgentRig::StartSimulator(const std::string& scenario) {
  simulator_ = std::make_unique<Simulator>(scenario);
  return simulator_->ready() ? 0 : -1;
}

int AgentRig::StartAgent() {
  // The agent never clears the flag itself; clearing it shows this start-up complete.
  if (block_ != nullptr) block::StoreU8(block_, block::kStartupComplete, 0);
  agent_ = std::make_unique<Process>(BinaryPath("vigilagent"), std::vector<std::string>{});
  if (block_ == nullptr) block_ = WaitForAgentBlock(10s);
  if (block_ == nullptr) return -1;
  return WaitUntil([&] { return block::LoadU8(block_, block::kStartupComplete) == 1; }, 15s) ? 0 : -1;
}

int AgentRig::StopAgent(int signo) {
  if (!agent_ || !agent_->Running()) return 0;
  agent_->Signal(signo);
  return agent_->Wait(15s) >= 0 ? 0 : -1;
}

int AgentRig::RestartAgent(int signo) {
  if (StopAgent(signo) != 0) return -1;
  return StartAgent();
}

std::string AgentRig::Log() const {
  std::string log;
  if (simulator_) log += "hwgate-sim: " + simulator_->process().Stderr();
  if (agent_) log += "\nvigilagent: " + agent_->Stderr();
  return log;
}

RunResult AgentRig::Vigilctl(const std::vector<std::string>& args) const {
  return Run(BinaryPath("vigilctl"), args, 20s);
}

double ProcessCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 > stat.size()) return 0;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::stoull(field);
  }
  return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

}  // namespace vigil::test
