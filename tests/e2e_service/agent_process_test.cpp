// The real vigilagent program in a sandbox: status reports, block, registry, signals.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "contract/registry_paths.h"
#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "support/agent_block.h"
#include "support/agent_rig.h"

namespace vigil {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const std::string kBlockFile = std::string("dev/shm/") + block::kName;
const std::string kParameterKey = std::string(kParametersBasePath) + kAgentParameterSubkey;
const std::string kStart = "START_PENDING controls=0 exit=0 service_exit=0 checkpoint=1 wait_hint=1000";
const std::string kRunning = "RUNNING controls=5 exit=0 service_exit=0 checkpoint=0 wait_hint=0";
const std::string kStopPending = "STOP_PENDING controls=5 exit=0 service_exit=0 checkpoint=0 wait_hint=0";
const std::string kStopped = "STOPPED controls=5 exit=0 service_exit=0 checkpoint=0 wait_hint=0";
constexpr auto kNoDriverRun = 30s;  // ten driver attempts a second apart, then teardown

class AgentProcessTest : public ::testing::Test {
 protected:
  Lines Status() const {
    Lines lines;
    std::istringstream in(sandbox_.Exists("run/vigilagent/status") ? sandbox_.ReadFile("run/vigilagent/status") : "");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // A 32-bit field of the block as a client reads it; all ones while there is no full block.
  uint32_t Field(std::size_t offset) const {
    std::string file = sandbox_.Exists(kBlockFile) ? sandbox_.ReadFile(kBlockFile) : "";
    if (file.size() != block::kSize) return 0xFFFFFFFF;
    return block::LoadU32(reinterpret_cast<const uint8_t*>(file.data()), offset);
  }
  bool Parameters(uint32_t cpu, uint32_t clear) const {
    return Field(block::kCpuOverTempShutdown) == cpu && Field(block::kClearEventLogEnabled) == clear;
  }
  void Seed(uint32_t cpu, uint32_t clear) {
    os::RegHandle key = nullptr;
    ASSERT_EQ(os::RegCreateKey(kParameterKey.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
    os::RegSetValue(key, kCpuOverTempShutdownValue, os::kRegDword, &cpu, sizeof cpu);
    os::RegSetValue(key, kClearEventLogEnabledValue, os::kRegDword, &clear, sizeof clear);
    os::RegCloseKey(key);
  }
  bool Running() const { return Status().size() >= 2 && Status()[1] == kRunning; }

  test::Sandbox sandbox_;
};

TEST_F(AgentProcessTest, NoDriverStartsRunsAndStopsCleanly) {
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_EQ(agent.Wait(kNoDriverRun), 0);
  EXPECT_EQ(Status(), (Lines{kStart, kRunning, kStopPending, kStopped}));
  const std::string log = sandbox_.ReadFile("var/log/vigilagent/messages.log");
  const std::string box = "HwGate: Driver Initialization Error!";
  EXPECT_NE(log.find(box), std::string::npos);
  EXPECT_EQ(log.find(box), log.rfind(box));
  // Nothing before the driver open writes a non-zero byte into a fresh block.
  const std::string file = sandbox_.ReadFile(kBlockFile);
  EXPECT_EQ(file, std::string(block::kSize, '\0'));
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegOpenKey(kParameterKey.c_str(), os::kKeyRead, &key), os::kErrorSuccess);
  os::RegCloseKey(key);
}

// Also the double STOP_PENDING: once from the handler, once from the final sequence.
TEST_F(AgentProcessTest, PresetParametersAppearReloadOnUsr1AndStopDuringStartUp) {
  Seed(1, 1);
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_TRUE(test::WaitUntil([&] { return Parameters(1, 1); }, 5s));
  Seed(0, 7);
  ASSERT_TRUE(agent.Signal(SIGUSR1));
  EXPECT_TRUE(test::WaitUntil([&] { return Parameters(0, 7); }, 5s));
  ASSERT_TRUE(agent.Signal(SIGUSR2));  // interrogate: no report
  ASSERT_TRUE(agent.Signal(SIGTERM));
  EXPECT_EQ(agent.Wait(kNoDriverRun), 0);
  EXPECT_EQ(Status(), (Lines{kStart, kRunning, kStopPending, kStopPending, kStopped}));
}

TEST_F(AgentProcessTest, ClientCreatedBlockIsReusedAndKept) {
  std::string contents(block::kSize, '\0');
  contents[block::RingEntryOffset(3)] = '\x42';
  contents[block::kSize - 1] = '\x7E';
  ASSERT_NE(test::HoldClientBlock(contents), nullptr);  // held for as long as the test runs
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_EQ(agent.Wait(kNoDriverRun), 0);
  EXPECT_EQ(sandbox_.ReadFile(kBlockFile), contents);
}

TEST_F(AgentProcessTest, StopDuringThePollWaitEndsAtOnce) {
  test::Simulator simulator("unknown-model.json");
  ASSERT_TRUE(simulator.ready());
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_TRUE(test::WaitUntil([&] { return (Field(block::kStartupComplete) & 0xFF) == 1; }, 10s));
  os::SleepMs(500);  // inside the first six-second wait
  const auto stopAt = std::chrono::steady_clock::now();
  ASSERT_TRUE(agent.Signal(SIGTERM));
  EXPECT_EQ(agent.Wait(10s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 3s);
  EXPECT_EQ(Status(), (Lines{kStart, kRunning, kStopPending, kStopPending, kStopped}));
}

}  // namespace
}  // namespace vigil
