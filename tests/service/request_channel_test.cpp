// The request thread on named events, driven as a client drives it.
#include "agent/service/request_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "contract/registry_paths.h"
#include "agent/service/service_entry.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"
#include "support/memory_machine.h"
#include "support/wait_until.h"

namespace vigil {
namespace {

using namespace std::chrono_literals;

class RequestChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gBlock = block_.data();
    gServiceStatus.currentState = os::kServiceRunning;
  }
  void TearDown() override {
    EXPECT_EQ(StopRequestChannel(), 0);
    CloseRequestEvents();
    os::CloseHandle(request_);
    os::CloseHandle(reply_);
  }
  void Start() {
    StartRequestChannel();
    request_ = os::OpenNamedEvent(kRequestEventName);
    reply_ = os::OpenNamedEvent(kReplyEventName);
    ASSERT_TRUE(request_ && reply_);
  }
  // The client cannot tell whether the thread waits yet, so it signals until `served` holds.
  bool Request(int32_t code, const std::function<bool()>& served, std::chrono::milliseconds patience = 3s) {
    block::StoreS32(gBlock, block::kRequestCode, code);
    return test::WaitUntil([&] { return os::SetEvent(request_) && (os::SleepMs(5), served()); }, patience);
  }
  bool Replied() { return os::WaitForEvent(reply_, 0) == os::WaitResult::kSignaled; }
  bool Flagged() { return block::LoadU8(gBlock, block::kRequest17Flag) == 1; }
  bool Saved() {
    os::RegHandle key = nullptr;
    const std::string path = std::string(kParametersBasePath) + kAgentParameterSubkey;
    if (os::RegOpenKey(path.c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return false;
    uint32_t value = 0, size = sizeof value;
    const long rc = os::RegQueryValue(key, kCpuOverTempShutdownValue, nullptr, &value, &size);
    os::RegCloseKey(key);
    return rc == os::kErrorSuccess && value == 6;
  }

  test::MemoryMachine machine_;
  std::vector<uint8_t> block_ = std::vector<uint8_t>(block::kSize);
  os::Handle request_ = nullptr;
  os::Handle reply_ = nullptr;
};

// Signed compare: every code below 9 refreshes and replies; 9 saves, 17 flags, others nothing.
TEST_F(RequestChannelTest, CodeTable) {
  struct Case { int32_t code; bool reply, save, flag; };
  const Case cases[] = {{0, true, false, false},  {3, true, false, false},  {8, true, false, false},
                        {-1, true, false, false}, {INT32_MIN, true, false, false},
                        {9, false, true, false},  {17, false, false, true}, {10, false, false, false},
                        {18, false, false, false}, {INT32_MAX, false, false, false}};
  for (const Case& c : cases) {
    test::MemoryMachine fresh;
    block_.assign(block::kSize, 0);
    SetUp();
    block::StoreU32(gBlock, block::kCpuOverTempShutdown, 6);
    Start();
    const bool any = c.reply || c.save || c.flag;
    Request(c.code, [&] { return Replied() || Saved() || Flagged(); }, any ? 3000ms : 300ms);
    EXPECT_EQ(Replied(), c.reply) << c.code;
    EXPECT_EQ(Saved(), c.save) << c.code;
    EXPECT_EQ(Flagged(), c.flag) << c.code;
    ASSERT_EQ(StopRequestChannel(), 0);
    CloseRequestEvents();
    os::CloseHandle(request_);
    os::CloseHandle(reply_);
    request_ = reply_ = nullptr;
  }
}

TEST_F(RequestChannelTest, StopEndsTheWaitingThreadAndLaterRequestsAreNotServed) {
  Start();
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(StopRequestChannel(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
  EXPECT_FALSE(RequestThreadRunning());
  EXPECT_FALSE(Request(kRequestSetFlag17, [&] { return Flagged(); }, 300ms));
}

TEST_F(RequestChannelTest, RequestDuringStopPendingIsServedThenThreadEnds) {
  Start();
  // Once the thread has reset the event after a request, it is past its STOP_PENDING check.
  ASSERT_TRUE(Request(kRequestRefreshAll, [&] { return Replied(); }));
  ASSERT_TRUE(test::WaitUntil([&] { return os::WaitForEvent(request_, 0) == os::WaitResult::kTimeout; }, 3s));
  gServiceStatus.currentState = os::kServiceStopPending;
  EXPECT_TRUE(Request(kRequestSetFlag17, [&] { return Flagged(); }));
  EXPECT_TRUE(test::WaitUntil([] { return !RequestThreadRunning(); }, 3s));
}

TEST_F(RequestChannelTest, MissingRequestEventEndsThreadInsteadOfSpinning) {
  os::memory::TakeName(kRequestEventName);
  StartRequestChannel();
  EXPECT_EQ(gRequestEvent, nullptr);
  EXPECT_TRUE(test::WaitUntil([] { return !RequestThreadRunning(); }, 3s));
}

}  // namespace
}  // namespace vigil
