// The main cycle in-process: start-up without and with a driver, the poll wait, teardown.
#include "agent/service/main_cycle.h"

#include <chrono>
#include <future>
#include <string>

#include "agent/platform/driver_channel.h"
#include "service/service_fixture.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/service/request_channel.h"
#include "support/agent_block.h"

namespace vigil {
namespace {

using namespace std::chrono_literals;

// Present, but answers nothing: start-up succeeds with nothing identified.
bool SilentDriver(void*, uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t*) { return false; }

class MainCycleTest : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    gDriverRetryDelayMs = 0;
    gTableRetryDelayMs = 0;
  }
  void TearDown() override {
    os::RegisterLocalDevice(kDriverPath, nullptr, nullptr);
    ServiceFixture::TearDown();
  }
};

TEST_F(MainCycleTest, NoDriverFailsOnceKeepsTheBlockAndEndsTheRequestThread) {
  std::string stale(block::kSize, '\0');
  stale[block::kRingNextSlot] = 5;
  stale[block::kRequestCode] = 3;
  ASSERT_NE(test::HoldClientBlock(stale), nullptr);
  EXPECT_EQ(AgentMainCycle(), -1);
  EXPECT_EQ(Boxes("HwGate: Driver Initialization Error!"), 1u);
  EXPECT_EQ(BlockBytes(), stale);
  EXPECT_FALSE(RequestThreadRunning());
  EXPECT_EQ(gRequestEvent, nullptr);
}

TEST_F(MainCycleTest, StartUpRewritesItsFieldsAndStopEndsTheWaitAtOnce) {
  std::string stale(block::kSize, '\0');
  stale[block::kRingAppendCount] = 9;
  stale[block::kRequestCode] = 5;
  stale[block::kSystemUuid] = '\xFF';
  ASSERT_NE(test::HoldClientBlock(stale), nullptr);
  os::RegisterLocalDevice(kDriverPath, SilentDriver, nullptr);
  gPollIntervalMs = 60000;

  auto cycle = std::async(std::launch::async, AgentMainCycle);
  ASSERT_TRUE(test::WaitUntil([] {
    const uint8_t* b = CurrentBlock();
    return b != nullptr && block::LoadU8(b, block::kStartupComplete) == 1;
  }, 5s));
  ServiceCtrlHandler(1);
  ASSERT_EQ(cycle.wait_for(3s), std::future_status::ready);
  EXPECT_FALSE(StopSignalled());  // the cycle consumed it
  EXPECT_EQ(cycle.get(), 0);  // started, then stopped on request

  const std::string file = BlockBytes();
  EXPECT_EQ(file.substr(block::kIdByte0, 10), std::string("\x01\x23\x01\x99\x2B\x00\x00\x00\x00\x10", 10));
  EXPECT_EQ(file.substr(block::kSystemUuid, block::kSystemUuidSize), std::string(block::kSystemUuidSize, '\0'));
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
  EXPECT_EQ(block::LoadU16(bytes, block::kRingAppendCount), 0);
  EXPECT_EQ(block::LoadS32(bytes, block::kRequestCode), 0);
}

TEST_F(MainCycleTest, UnusableStopEventEndsTheCycleInsteadOfSpinning) {
  os::RegisterLocalDevice(kDriverPath, SilentDriver, nullptr);
  os::CloseHandle(gStopEvent);
  gStopEvent = nullptr;
  auto cycle = std::async(std::launch::async, AgentMainCycle);
  EXPECT_EQ(cycle.wait_for(5s), std::future_status::ready);
}

TEST_F(MainCycleTest, UnusableMappingRunsOnAPrivateBlockAndFreesIt) {
  ASSERT_NE(test::HoldClientBlock("too small"), nullptr);
  EXPECT_EQ(AgentMainCycle(), -1);  // no driver here: the start-up fails
  EXPECT_EQ(gBlock, nullptr);
  EXPECT_EQ(BlockBytes(), "too small");
  // Said in the log and in the status: it does not pass for an agent clients can read.
  EXPECT_EQ(os::memory::ServiceStatusNote(), "block-unpublished");
  bool logged = false;
  for (const auto& box : os::memory::MessageBoxes()) logged = logged || box.text.find("no client can see") != std::string::npos;
  EXPECT_TRUE(logged);
}

}  // namespace
}  // namespace vigil
