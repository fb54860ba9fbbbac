// The request thread on real named events, seen from a client's side.
#include "shared/request_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "config/registry_paths.h"
#include "service/service_entry.h"
#include "shared/block_access.h"
#include "shared/block_layout.h"
#include "shared/shared_block.h"
#include "support/sandbox.h"

namespace vigil {
namespace {

using namespace std::chrono_literals;

class RequestChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    block_.assign(block::kSize, 0);
    gBlock = block_.data();
    gServiceStatus.currentState = os::kServiceRunning;
  }
  void TearDown() override {
    EXPECT_EQ(StopRequestChannel(), 0);
    CloseRequestEvents();
    os::CloseHandle(clientRequest_);
    os::CloseHandle(clientReply_);
    gServiceStatus.currentState = 0;
    gBlock = nullptr;
  }

  void Start() {
    StartRequestChannel();
    clientRequest_ = os::OpenNamedEvent(kRequestEventName);
    clientReply_ = os::OpenNamedEvent(kReplyEventName);
    ASSERT_NE(clientRequest_, nullptr);
    ASSERT_NE(clientReply_, nullptr);
  }

  // A client cannot know whether the thread is already waiting, so it signals again until
  // `served` shows the effect (as long as `patience`).
  bool Request(int32_t code, const std::function<bool()>& served, std::chrono::milliseconds patience = 3s) {
    block::StoreS32(gBlock, block::kRequestCode, code);
    return test::WaitUntil([&] {
      os::SetEvent(clientRequest_);
      os::SleepMs(5);
      return served();
    }, patience);
  }
  bool ReplySet() { return os::WaitForEvent(clientReply_, 0) == os::WaitResult::kSignaled; }
  uint8_t Flag17() { return block::LoadU8(gBlock, block::kRequest17Flag); }

  test::Sandbox sandbox_;
  std::vector<uint8_t> block_;
  os::Handle clientRequest_ = nullptr;
  os::Handle clientReply_ = nullptr;
};

// Every code below 9, negative ones included, runs a refresh and sets the reply event.
class RefreshCodeTest : public RequestChannelTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(RefreshCodeTest, SetsReplyEvent) {
  Start();
  EXPECT_TRUE(Request(GetParam(), [&] { return ReplySet(); }));
  EXPECT_EQ(Flag17(), 0);
}

INSTANTIATE_TEST_SUITE_P(Codes, RefreshCodeTest,
                         ::testing::Values(0, 1, 2, 3, 4, 5, 8, -1, INT32_MIN));

// Codes at 9 and above never answer with the reply event.
struct QuietCase {
  int32_t code;
  bool setsFlag;
  bool saves;
};

class QuietCodeTest : public RequestChannelTest, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(QuietCodeTest, NoReplyEvent) {
  const QuietCase& c = GetParam();
  const std::string key = std::string(kParametersBasePath) + kAgentParameterSubkey;
  block::StoreU32(gBlock, block::kCpuOverTempShutdown, 1);
  block::StoreU32(gBlock, block::kClearEventLogEnabled, 2);
  Start();
  auto saved = [&] {
    os::RegHandle k = nullptr;
    if (os::RegOpenKey(key.c_str(), os::kKeyRead, &k) != os::kErrorSuccess) return false;
    uint32_t value = 0, size = sizeof value;
    const bool ok = os::RegQueryValue(k, kClearEventLogEnabledValue, nullptr, &value, &size) ==
                    os::kErrorSuccess && value == 2;
    os::RegCloseKey(k);
    return ok;
  };
  const bool effect = Request(c.code, [&] { return (c.setsFlag && Flag17() == 1) || (c.saves && saved()); },
                              c.setsFlag || c.saves ? 3000ms : 300ms);
  EXPECT_EQ(effect, c.setsFlag || c.saves);
  EXPECT_EQ(Flag17(), c.setsFlag ? 1 : 0);
  EXPECT_EQ(saved(), c.saves);
  EXPECT_FALSE(ReplySet());
}

INSTANTIATE_TEST_SUITE_P(Codes, QuietCodeTest,
                         ::testing::Values(QuietCase{9, false, true}, QuietCase{17, true, false},
                                           QuietCase{10, false, false}, QuietCase{16, false, false},
                                           QuietCase{18, false, false}, QuietCase{INT32_MAX, false, false}));

TEST_F(RequestChannelTest, FlagStaysSetAfterLaterRequests) {
  Start();
  ASSERT_TRUE(Request(kRequestSetFlag17, [&] { return Flag17() == 1; }));
  ASSERT_TRUE(Request(kRequestRefreshAll, [&] { return ReplySet(); }));
  EXPECT_EQ(Flag17(), 1);
}

TEST_F(RequestChannelTest, ClientCreatedEventsAreUsed) {
  os::Handle early = os::CreateNamedEvent(kRequestEventName, true, false);
  os::Handle earlyReply = os::CreateNamedEvent(kReplyEventName, true, false);
  ASSERT_NE(early, nullptr);
  Start();
  block::StoreS32(gBlock, block::kRequestCode, kRequestRefreshVoltage);
  EXPECT_TRUE(test::WaitUntil([&] {
    os::SetEvent(early);
    return os::WaitForEvent(earlyReply, 5) == os::WaitResult::kSignaled;
  }, 3s));
  os::CloseHandle(early);
  os::CloseHandle(earlyReply);
}

TEST_F(RequestChannelTest, StopEndsTheWaitingThreadPromptly) {
  Start();
  ASSERT_TRUE(RequestThreadRunning());
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(StopRequestChannel(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
  EXPECT_FALSE(RequestThreadRunning());
}

TEST_F(RequestChannelTest, RequestAfterStopIsNotServed) {
  Start();
  ASSERT_EQ(StopRequestChannel(), 0);
  EXPECT_FALSE(Request(kRequestSetFlag17, [&] { return Flag17() == 1; }, 300ms));
  EXPECT_EQ(Flag17(), 0);
}

TEST_F(RequestChannelTest, RequestDuringStopPendingIsServedThenThreadEnds) {
  Start();
  // Once the thread has reset the request event after serving, it is past its STOP_PENDING
  // check and waits: the next request must be served although the state changes now.
  ASSERT_TRUE(Request(kRequestRefreshAll, [&] { return ReplySet(); }));
  ASSERT_TRUE(test::WaitUntil([&] { return os::WaitForEvent(clientRequest_, 0) == os::WaitResult::kTimeout; }, 3s));
  gServiceStatus.currentState = os::kServiceStopPending;
  EXPECT_TRUE(Request(kRequestSetFlag17, [&] { return Flag17() == 1; }));
  EXPECT_TRUE(test::WaitUntil([] { return !RequestThreadRunning(); }, 3s));
}

TEST_F(RequestChannelTest, MissingRequestEventEndsThreadInsteadOfSpinning) {
  // Something that is not an event holds the name, so it can be neither made nor opened.
  sandbox_.WriteFile("dev/shm/vigil-event.NVX_CFG_EVENT/blocker", "");
  StartRequestChannel();
  EXPECT_EQ(gRequestEvent, nullptr);
  EXPECT_TRUE(test::WaitUntil([] { return !RequestThreadRunning(); }, 3s));
  EXPECT_NE(gReplyEvent, nullptr);
}

}  // namespace
}  // namespace vigil
