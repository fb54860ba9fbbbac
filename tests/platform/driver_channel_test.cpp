// The driver channel over the port's device facility, with an in-process device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "contract/driver_protocol.h"
#include "fake_platform.h"
#include "agent/platform/driver_channel.h"
#include "support/memory_machine.h"

namespace vigil::test {
namespace {

using Clock = std::chrono::steady_clock;

class DriverChannelTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseDriverChannel(); }
  MemoryMachine machine_;
};

TEST_F(DriverChannelTest, MissingDriverCostsTenAttemptsEachFollowedByTheDelay) {
  gDriverRetryDelayMs = 30;
  const auto start = Clock::now();
  EXPECT_EQ(OpenDriverChannel(), -1);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  EXPECT_EQ(gDriverHandle, nullptr);
  EXPECT_GE(elapsed.count(), 10 * 30);  // the tenth failure is followed by its delay too
  EXPECT_LT(elapsed.count(), 10 * 30 + 2000);
}

TEST_F(DriverChannelTest, PresentDriverOpensAtOnce) {
  FakePlatform platform;
  gDriverRetryDelayMs = 60000;
  const auto start = Clock::now();
  EXPECT_EQ(OpenDriverChannel(), 0);
  EXPECT_NE(gDriverHandle, nullptr);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  CloseDriverChannel();
  EXPECT_EQ(gDriverHandle, nullptr);
}

TEST_F(DriverChannelTest, ControlCodesCarryTheirBuffers) {
  FakePlatform platform;
  ASSERT_EQ(OpenDriverChannel(), 0);
  static uint8_t table[kSmbiosTableSize];
  EXPECT_EQ(ReadSmbiosTable(table), 0);
  LogReadRecord record{};
  EXPECT_EQ(ExchangeLogRecords(&record), 0);
  uint8_t block[kCommandBlockSize] = {};
  block[kCommandCodeOffset] = kCommandReadSensor;
  EXPECT_EQ(DeviceCommand(block), 0);
  EXPECT_EQ(block[kCommandResponseOffset], 0x5A);

  ASSERT_EQ(platform.exchanges.size(), 3u);
  const Exchange expected[] = {{0x80002004, 0, 8192}, {0x80002018, 8, 76}, {0x80002028, 260, 260}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(platform.exchanges[i].code, expected[i].code);
    EXPECT_EQ(platform.exchanges[i].inLength, expected[i].inLength);
    EXPECT_EQ(platform.exchanges[i].outLength, expected[i].outLength);
  }
}

TEST_F(DriverChannelTest, FailedCallsAreFailuresAndLeaveTheBufferAlone) {
  FakePlatform platform;
  ASSERT_EQ(OpenDriverChannel(), 0);
  platform.fail = true;
  static uint8_t table[kSmbiosTableSize];
  EXPECT_EQ(ReadSmbiosTable(table), -1);
  LogReadRecord record{};
  EXPECT_EQ(ExchangeLogRecords(&record), -1);
  uint8_t block[kCommandBlockSize];
  std::memset(block, 0x33, sizeof block);
  EXPECT_EQ(DeviceCommand(block), -1);
  EXPECT_EQ(block[kCommandResponseOffset], 0x33);
}

TEST_F(DriverChannelTest, CallsWithoutAnOpenChannelFail) {
  uint8_t block[kCommandBlockSize] = {};
  EXPECT_EQ(DeviceCommand(block), -1);
  LogReadRecord record{};
  EXPECT_EQ(ExchangeLogRecords(&record), -1);
}

}  // namespace
}  // namespace vigil::test
