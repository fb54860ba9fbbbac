// The main cycle in-process: start-up with and without a driver, the poll wait, teardown.
#include "service/main_cycle.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <string>

#include "platform/driver_channel.h"
#include "service/service_fixture.h"
#include "shared/block_access.h"
#include "shared/request_channel.h"

namespace vigil {
namespace {

using namespace std::chrono_literals;

const std::string kBlockFile = std::string("dev/shm/") + block::kName;

// A driver that is there but answers no request: start-up succeeds with nothing identified.
bool SilentDriver(void*, uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  return false;
}

class MainCycleTest : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    gDriverRetryDelayMs = 0;
    gPollIntervalMs = kPollIntervalMs;
  }
  void TearDown() override {
    os::RegisterLocalDevice(kDriverPath, nullptr, nullptr);
    gDriverRetryDelayMs = 1000;
    gPollIntervalMs = kPollIntervalMs;
    ServiceFixture::TearDown();
  }
  std::string BlockFile() const { return sandbox_.ReadFile(kBlockFile); }
};

TEST_F(MainCycleTest, NoDriverFailsOnceAndLeavesTheBlockUntouched) {
  SeedParameters(1, 1);
  EXPECT_EQ(AgentMainCycle(), 0);
  EXPECT_EQ(Boxes("HwGate: Driver Initialization Error!"), 1u);
  EXPECT_FALSE(RequestThreadRunning());
  EXPECT_EQ(gRequestEvent, nullptr);
  EXPECT_EQ(gReplyEvent, nullptr);

  // Only the parameter load wrote into the block before the driver failed.
  std::string file = BlockFile();
  ASSERT_EQ(file.size(), block::kSize);
  auto* bytes = reinterpret_cast<uint8_t*>(file.data());
  EXPECT_EQ(block::LoadU32(bytes, block::kCpuOverTempShutdown), 1u);
  EXPECT_EQ(block::LoadU32(bytes, block::kClearEventLogEnabled), 1u);
  block::StoreU32(bytes, block::kCpuOverTempShutdown, 0);
  block::StoreU32(bytes, block::kClearEventLogEnabled, 0);
  EXPECT_TRUE(std::all_of(file.begin(), file.end(), [](char c) { return c == 0; }));
}

TEST_F(MainCycleTest, FailedStartUpKeepsWhatTheBlockHeld) {
  std::string stale(block::kSize, '\0');
  stale[block::kRingNextSlot] = 5;
  stale[block::kRequestCode] = 3;
  stale[block::kStartupComplete] = 1;
  sandbox_.WriteFile(kBlockFile, stale);
  EXPECT_EQ(AgentMainCycle(), 0);
  EXPECT_EQ(BlockFile(), stale);
}

TEST_F(MainCycleTest, UnusableMappingRunsOnAPrivateBlockAndFreesIt) {
  sandbox_.WriteFile(kBlockFile, "too small");
  SeedParameters(1, 0);
  EXPECT_EQ(AgentMainCycle(), 0);
  EXPECT_EQ(gView, nullptr);
  EXPECT_EQ(gBlock, nullptr);
  EXPECT_EQ(BlockFile(), "too small");
}

TEST_F(MainCycleTest, StartUpWritesIdentificationAndStopEndsTheWaitAtOnce) {
  // A client made the block first and left stale values in it.
  std::string stale(block::kSize, '\0');
  stale[block::kRingNextSlot] = 9;
  stale[block::kRingAppendCount] = 9;
  stale[block::kRequestCode] = 5;
  std::fill_n(stale.begin() + block::kSystemUuid, block::kSystemUuidSize, '\xFF');
  sandbox_.WriteFile(kBlockFile, stale);
  os::RegisterLocalDevice(kDriverPath, SilentDriver, nullptr);
  gPollIntervalMs = 60000;

  auto cycle = std::async(std::launch::async, [] { return AgentMainCycle(); });
  ASSERT_TRUE(test::WaitUntil([] {
    const uint8_t* b = CurrentBlock();
    return b != nullptr && block::LoadU8(b, block::kStartupComplete) == 1;
  }, 5s));
  const auto stopAt = std::chrono::steady_clock::now();
  ServiceCtrlHandler(1);
  ASSERT_EQ(cycle.wait_for(3s), std::future_status::ready);
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 3s);
  EXPECT_EQ(cycle.get(), 0);
  // The cycle consumed the stop signal.
  EXPECT_FALSE(StopSignalled());

  std::string file = BlockFile();
  const std::string id = file.substr(block::kIdByte0, block::kIdByte3 + 1 - block::kIdByte0);
  EXPECT_EQ(id, std::string("\x01\x23\x01\x99\x2B\x00\x00\x00\x00\x10", 10));
  EXPECT_EQ(file.substr(block::kSystemUuid, block::kSystemUuidSize), std::string(block::kSystemUuidSize, '\0'));
  auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
  EXPECT_EQ(block::LoadU16(bytes, block::kRingNextSlot), 0);
  EXPECT_EQ(block::LoadU16(bytes, block::kRingAppendCount), 0);
  EXPECT_EQ(block::LoadS32(bytes, block::kRequestCode), 0);
  EXPECT_FALSE(RequestThreadRunning());
}

TEST_F(MainCycleTest, StopBeforeStartUpEndsAfterOnePollStep) {
  os::RegisterLocalDevice(kDriverPath, SilentDriver, nullptr);
  gPollIntervalMs = 60000;
  ASSERT_TRUE(os::SetEvent(gStopEvent));
  auto cycle = std::async(std::launch::async, [] { return AgentMainCycle(); });
  ASSERT_EQ(cycle.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(block::LoadU8(reinterpret_cast<const uint8_t*>(BlockFile().data()), block::kStartupComplete), 1);
}

TEST_F(MainCycleTest, UnusableStopEventEndsTheCycleInsteadOfSpinning) {
  os::RegisterLocalDevice(kDriverPath, SilentDriver, nullptr);
  os::CloseHandle(gStopEvent);
  gStopEvent = nullptr;
  auto cycle = std::async(std::launch::async, [] { return AgentMainCycle(); });
  ASSERT_EQ(cycle.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(RequestThreadRunning());
}

}  // namespace
}  // namespace vigil
