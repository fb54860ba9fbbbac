// The real vigilagent program in a sandbox: status reports, block, registry, signals.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "config/registry_paths.h"
#include "e2e_service/silent_driver.h"
#include "os/os.h"
#include "shared/block_access.h"
#include "shared/block_layout.h"
#include "support/sandbox.h"

namespace vigil {
namespace {

using namespace std::chrono_literals;

const std::string kBlockFile = std::string("dev/shm/") + block::kName;
const std::string kStatusFile = "run/vigilagent/status";
const std::string kMessages = "var/log/vigilagent/messages.log";
const std::string kParameterKey = std::string(kParametersBasePath) + kAgentParameterSubkey;

const std::string kStartPending = "START_PENDING controls=0 exit=0 service_exit=0 checkpoint=1 wait_hint=1000";
const std::string kRunning = "RUNNING controls=5 exit=0 service_exit=0 checkpoint=0 wait_hint=0";
const std::string kStopPending = "STOP_PENDING controls=5 exit=0 service_exit=0 checkpoint=0 wait_hint=0";
const std::string kStopped = "STOPPED controls=5 exit=0 service_exit=0 checkpoint=0 wait_hint=0";

// Ten driver attempts a second apart, then teardown: well under this.
constexpr auto kNoDriverRun = 30s;

class AgentProcessTest : public ::testing::Test {
 protected:
  std::vector<std::string> StatusLines() const {
    std::vector<std::string> lines;
    if (!sandbox_.Exists(kStatusFile)) return lines;
    std::istringstream in(sandbox_.ReadFile(kStatusFile));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::size_t Boxes(const std::string& text) const {
    if (!sandbox_.Exists(kMessages)) return 0;
    const std::string log = sandbox_.ReadFile(kMessages);
    std::size_t n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }
  // A field of the block as a client would read it, or `fallback` when there is no block yet.
  uint32_t BlockU32(std::size_t offset, uint32_t fallback = 0xFFFFFFFF) const {
    if (!sandbox_.Exists(kBlockFile)) return fallback;
    std::string file = sandbox_.ReadFile(kBlockFile);
    if (file.size() != block::kSize) return fallback;
    return block::LoadU32(reinterpret_cast<const uint8_t*>(file.data()), offset);
  }
  bool Reported(const std::string& line) const {
    auto lines = StatusLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  void SeedParameters(uint32_t cpu, uint32_t clear) {
    os::RegHandle key = nullptr;
    ASSERT_EQ(os::RegCreateKey(kParameterKey.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
    EXPECT_EQ(os::RegSetValue(key, kCpuOverTempShutdownValue, os::kRegDword, &cpu, sizeof cpu), os::kErrorSuccess);
    EXPECT_EQ(os::RegSetValue(key, kClearEventLogEnabledValue, os::kRegDword, &clear, sizeof clear), os::kErrorSuccess);
    os::RegCloseKey(key);
  }

  test::Sandbox sandbox_;
};

TEST_F(AgentProcessTest, NoDriverStartsRunsAndStopsCleanly) {
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_EQ(agent.Wait(kNoDriverRun), 0);

  EXPECT_EQ(StatusLines(), (std::vector<std::string>{kStartPending, kRunning, kStopPending, kStopped}));
  EXPECT_EQ(Boxes("Driver Initialization Error!"), 1u);
  EXPECT_EQ(Boxes("HwGate: Driver Initialization Error!"), 1u);

  // Nothing before the driver open writes a non-zero byte into a fresh block.
  const std::string file = sandbox_.ReadFile(kBlockFile);
  ASSERT_EQ(file.size(), block::kSize);
  EXPECT_TRUE(std::all_of(file.begin(), file.end(), [](char c) { return c == 0; }));

  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegOpenKey(kParameterKey.c_str(), os::kKeyRead, &key), os::kErrorSuccess);
  os::RegCloseKey(key);
}

TEST_F(AgentProcessTest, PresetParametersAppearAndReloadOnUsr1) {
  SeedParameters(1, 1);
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_TRUE(test::WaitUntil([&] {
    return BlockU32(block::kCpuOverTempShutdown) == 1 && BlockU32(block::kClearEventLogEnabled) == 1;
  }, 5s));

  SeedParameters(0, 7);
  ASSERT_TRUE(agent.Signal(SIGUSR1));
  EXPECT_TRUE(test::WaitUntil([&] {
    return BlockU32(block::kCpuOverTempShutdown) == 0 && BlockU32(block::kClearEventLogEnabled) == 7;
  }, 5s));
  // A reload reports no status.
  EXPECT_EQ(StatusLines(), (std::vector<std::string>{kStartPending, kRunning}));
  EXPECT_EQ(agent.Wait(kNoDriverRun), 0);
}

TEST_F(AgentProcessTest, ClientCreatedBlockIsReusedAndKept) {
  std::string contents(block::kSize, '\0');
  contents[block::kRequest17Flag] = 1;
  contents[block::RingEntryOffset(3)] = '\x42';
  contents[block::kSize - 1] = '\x7E';
  sandbox_.WriteFile(kBlockFile, contents);
  SeedParameters(3, 4);

  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_EQ(agent.Wait(kNoDriverRun), 0);

  std::string expected = contents;
  auto* bytes = reinterpret_cast<uint8_t*>(expected.data());
  block::StoreU32(bytes, block::kCpuOverTempShutdown, 3);
  block::StoreU32(bytes, block::kClearEventLogEnabled, 4);
  EXPECT_EQ(sandbox_.ReadFile(kBlockFile), expected);
}

TEST_F(AgentProcessTest, SmallerBlockObjectIsRefusedAndLeftAlone) {
  const std::string small(4096, '\x33');
  sandbox_.WriteFile(kBlockFile, small);
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_EQ(agent.Wait(kNoDriverRun), 0);
  EXPECT_EQ(sandbox_.ReadFile(kBlockFile), small);
  EXPECT_EQ(StatusLines().back(), kStopped);
}

TEST_F(AgentProcessTest, CorruptRegistryDoesNotStopTheAgent) {
  sandbox_.WriteFile("var/lib/vigilagent/registry.db", std::string(16384, '\xC3'));
  test::Process agent(test::BinaryPath("vigilagent"), {});
  EXPECT_EQ(agent.Wait(kNoDriverRun), 0);
  EXPECT_EQ(StatusLines(), (std::vector<std::string>{kStartPending, kRunning, kStopPending, kStopped}));
  EXPECT_EQ(BlockU32(block::kCpuOverTempShutdown), 0u);
  EXPECT_EQ(BlockU32(block::kClearEventLogEnabled), 0u);
}

// STOP while the start-up still tries the driver: the handler reports STOP_PENDING, the
// failed start-up tears down, the final sequence reports it again, then STOPPED.
TEST_F(AgentProcessTest, StopDuringStartUpReportsStopPendingTwice) {
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_TRUE(test::WaitUntil([&] { return Reported(kRunning); }, 5s));
  ASSERT_TRUE(agent.Signal(SIGTERM));
  EXPECT_EQ(agent.Wait(kNoDriverRun), 0);
  EXPECT_EQ(StatusLines(),
            (std::vector<std::string>{kStartPending, kRunning, kStopPending, kStopPending, kStopped}));
}

TEST_F(AgentProcessTest, InterrogateReportsNothing) {
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_TRUE(test::WaitUntil([&] { return Reported(kRunning); }, 5s));
  ASSERT_TRUE(agent.Signal(SIGUSR2));
  EXPECT_EQ(agent.Wait(kNoDriverRun), 0);
  EXPECT_EQ(StatusLines(), (std::vector<std::string>{kStartPending, kRunning, kStopPending, kStopped}));
}

class AgentWithDriverTest : public AgentProcessTest {
 protected:
  test::SilentDriver driver_{sandbox_.Path("run/hwgate.sock")};
};

TEST_F(AgentWithDriverTest, StopDuringTheWaitEndsAtOnce) {
  ASSERT_TRUE(driver_.listening());
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_TRUE(test::WaitUntil([&] { return (BlockU32(block::kStartupComplete, 0) & 0xFF) == 1; }, 10s));
  // Well inside the first six-second wait.
  os::SleepMs(500);
  const auto stopAt = std::chrono::steady_clock::now();
  ASSERT_TRUE(agent.Signal(SIGTERM));
  EXPECT_EQ(agent.Wait(10s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 3s);
  EXPECT_EQ(StatusLines(),
            (std::vector<std::string>{kStartPending, kRunning, kStopPending, kStopPending, kStopped}));
  EXPECT_EQ(Boxes("Driver Initialization Error!"), 0u);

  const std::string file = sandbox_.ReadFile(kBlockFile);
  EXPECT_EQ(file.substr(block::kIdByte0, block::kIdByte3 + 1 - block::kIdByte0),
            std::string("\x01\x23\x01\x99\x2B\x00\x00\x00\x00\x10", 10));
  EXPECT_EQ(file.substr(block::kSystemUuid, block::kSystemUuidSize), std::string(block::kSystemUuidSize, '\0'));
}

TEST_F(AgentWithDriverTest, ShutdownControlStopsLikeStop) {
  ASSERT_TRUE(driver_.listening());
  test::Process agent(test::BinaryPath("vigilagent"), {});
  ASSERT_TRUE(test::WaitUntil([&] { return (BlockU32(block::kStartupComplete, 0) & 0xFF) == 1; }, 10s));
  ASSERT_TRUE(agent.Signal(SIGPWR));
  EXPECT_EQ(agent.Wait(10s), 0);
  EXPECT_EQ(StatusLines().back(), kStopped);
}

}  // namespace
}  // namespace vigil
