#include "eventlog_system.h"

#include <signal.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "support/agent_block.h"

namespace vigil::test {

using namespace std::chrono_literals;

EventLogSystem::EventLogSystem(const std::string& scenario, const std::string& model) {
  Run(BinaryPath("vigilctl"), {"reg", "import", SourcePath("fixtures/eventtables/" + model + ".reg")});
  simulator_ = std::make_unique<Process>(
      BinaryPath("hwgate-sim"), std::vector<std::string>{"--scenario", SourcePath("fixtures/scenarios/" + scenario)});
  WaitUntil([&] { return sandbox_.Exists("run/hwgate.sock"); }, 10s);
}

EventLogSystem::~EventLogSystem() {
  StopAgent();
  if (simulator_ && simulator_->Running()) {
    simulator_->Signal(SIGTERM);
    simulator_->Wait(5s);
  }
}

bool EventLogSystem::StartAgent() {
  if (block_ != nullptr) block::StoreU8(block_, block::kStartupComplete, 0);
  agent_ = std::make_unique<Process>(BinaryPath("vigilagent"), std::vector<std::string>{});
  if (block_ == nullptr) block_ = WaitForAgentBlock(10s);
  return block_ != nullptr &&
         WaitUntil([&] { return block::LoadU8(block_, block::kStartupComplete) == 1; }, 15s);
}

bool EventLogSystem::StopAgent() {
  if (!agent_ || !agent_->Running()) return true;
  agent_->Signal(SIGTERM);
  return agent_->Wait(15s) >= 0;
}

void EventLogSystem::KillAgent() {
  agent_->Signal(SIGKILL);
  agent_->Wait(5s);
}

std::vector<std::string> EventLogSystem::EventLines() const {
  std::vector<std::string> lines;
  std::ifstream in(sandbox_.Path("var/log/vigilagent/events.log"));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

bool EventLogSystem::WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return EventLines().size() >= count; }, timeout);
}

uint16_t EventLogSystem::NextSlot() const { return block::LoadU16(block_, block::kRingNextSlot); }
uint16_t EventLogSystem::AppendCount() const { return block::LoadU16(block_, block::kRingAppendCount); }

HistoryEntry EventLogSystem::Entry(std::size_t slot) const {
  HistoryEntry entry;
  std::memcpy(&entry, block_ + block::RingEntryOffset(slot), sizeof entry);
  return entry;
}

RunResult EventLogSystem::Ctl(const std::vector<std::string>& args) {
  std::vector<std::string> full{"ctl"};
  full.insert(full.end(), args.begin(), args.end());
  return Run(BinaryPath("hwgate-sim"), full, 10s);
}

long EventLogSystem::Stat(const std::string& name) {
  std::istringstream in(Ctl({"stats"}).out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(name + "=", 0) == 0) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

RunResult EventLogSystem::Vigilctl(const std::vector<std::string>& args) {
  return Run(BinaryPath("vigilctl"), args, 20s);
}

std::string RecordHex(uint8_t type, uint8_t length, uint32_t word) {
  std::vector<uint8_t> bytes(length, 0);
  const uint8_t head[] = {type, length, 0x24, 0x04, 0x01, 0x12, 0x00, 0x00};
  std::memcpy(bytes.data(), head, sizeof head);
  for (int i = 0; i < 4; ++i) bytes[8 + i] = uint8_t(word >> (8 * i));
  std::string hex;
  for (uint8_t b : bytes) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", b);
    hex += two;
  }
  return hex;
}

}  // namespace vigil::test
