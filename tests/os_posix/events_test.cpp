#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "os/os.h"
#include "os/posix/event_state.h"
#include "os/posix/view_guard.h"
#include "support/sandbox.h"

namespace {

using os::WaitResult;
using vigil::test::ForkChild;
using vigil::test::RunInChild;
using vigil::test::Sandbox;
using vigil::test::WaitChild;
using Clock = std::chrono::steady_clock;

struct ResetCase {
  bool manualReset;
  bool initialState;
  WaitResult first;
  WaitResult second;
};

class EventResetTest : public ::testing::TestWithParam<ResetCase> {};

TEST_P(EventResetTest, ZeroTimeoutWaitsFollowWin32ResetRules) {
  Sandbox sandbox;
  const ResetCase& c = GetParam();
  os::Handle unnamed = os::CreateUnnamedEvent(c.manualReset, c.initialState);
  os::Handle named = os::CreateNamedEvent("RESET_CASE", c.manualReset, c.initialState);
  for (os::Handle event : {unnamed, named}) {
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(os::WaitForEvent(event, 0), c.first);
    EXPECT_EQ(os::WaitForEvent(event, 0), c.second);
    ASSERT_TRUE(os::SetEvent(event));
    EXPECT_EQ(os::WaitForEvent(event, 0), WaitResult::kSignaled);
    EXPECT_EQ(os::WaitForEvent(event, 0),
              c.manualReset ? WaitResult::kSignaled : WaitResult::kTimeout);
    ASSERT_TRUE(os::ResetEvent(event));
    EXPECT_EQ(os::WaitForEvent(event, 0), WaitResult::kTimeout);
    os::CloseHandle(event);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, EventResetTest,
    ::testing::Values(ResetCase{true, false, WaitResult::kTimeout, WaitResult::kTimeout},
                      ResetCase{true, true, WaitResult::kSignaled, WaitResult::kSignaled},
                      ResetCase{false, false, WaitResult::kTimeout, WaitResult::kTimeout},
                      ResetCase{false, true, WaitResult::kSignaled, WaitResult::kTimeout}),
    [](const auto& info) {
      return std::string(info.param.manualReset ? "manual" : "auto") + (info.param.initialState ? "_set" : "_clear");
    });

TEST(Events, TimedWaitLastsAboutItsTimeout) {
  os::Handle event = os::CreateUnnamedEvent(true, false);
  auto start = Clock::now();
  EXPECT_EQ(os::WaitForEvent(event, 120), WaitResult::kTimeout);
  auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(115));
  EXPECT_LT(elapsed, std::chrono::seconds(3));
  os::CloseHandle(event);
}

TEST(Events, SetFromAnotherProcessWakesAnInfiniteWait) {
  Sandbox sandbox;
  os::Handle event = os::CreateNamedEvent("NVX_CFG_EVENT", true, false);
  ASSERT_NE(event, nullptr);
  pid_t child = ForkChild([] {
    os::Handle mine = os::OpenNamedEvent("NVX_CFG_EVENT");
    if (mine == nullptr) return 2;
    os::SleepMs(50);
    return os::SetEvent(mine) ? 0 : 1;
  });
  EXPECT_EQ(os::WaitForEvent(event, os::kInfinite), WaitResult::kSignaled);
  EXPECT_EQ(WaitChild(child), 0);
  os::CloseHandle(event);
}

TEST(Events, AutoResetWakesExactlyOneWaitingProcess) {
  Sandbox sandbox;
  os::Handle event = os::CreateNamedEvent("ONE_WAKER", false, false);
  ASSERT_NE(event, nullptr);
  auto waiter = [] {
    os::Handle mine = os::OpenNamedEvent("ONE_WAKER");
    if (mine == nullptr) return 3;
    return os::WaitForEvent(mine, 1500) == WaitResult::kSignaled ? 0 : 1;
  };
  pid_t a = ForkChild(waiter);
  pid_t b = ForkChild(waiter);
  os::SleepMs(200);  // both are waiting by now
  ASSERT_TRUE(os::SetEvent(event));
  int resultA = WaitChild(a);
  int resultB = WaitChild(b);
  EXPECT_EQ((resultA == 0) + (resultB == 0), 1) << resultA << " " << resultB;
  EXPECT_EQ(os::WaitForEvent(event, 0), WaitResult::kTimeout);  // consumed by the one
  os::CloseHandle(event);
}

TEST(Events, CreatingAnExistingEventOpensItWithItsOwnModeAndState) {
  Sandbox sandbox;
  os::Handle first = os::CreateNamedEvent("SHARED", true, false);
  os::Handle second = os::CreateNamedEvent("SHARED", false, true);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(os::WaitForEvent(second, 0), WaitResult::kTimeout);
  ASSERT_TRUE(os::SetEvent(second));
  EXPECT_EQ(os::WaitForEvent(first, 0), WaitResult::kSignaled);
  EXPECT_EQ(os::WaitForEvent(first, 0), WaitResult::kSignaled);  // still manual reset
  os::CloseHandle(first);
  os::CloseHandle(second);
}

TEST(Events, OpenFailsWhenAbsentAndANonEventNameIsRefused) {
  Sandbox sandbox;
  EXPECT_EQ(os::OpenNamedEvent("NOBODY"), nullptr);
  EXPECT_FALSE(sandbox.Exists("dev/shm/vigil-event.NOBODY"));
  // A held object under the name that is no event.
  os::Handle notEvent = os::CreateNamedMapping("vigil-event.JUNK", 4096);
  ASSERT_NE(notEvent, nullptr);
  EXPECT_EQ(os::OpenNamedEvent("JUNK"), nullptr);
  EXPECT_EQ(os::CreateNamedEvent("JUNK", true, false), nullptr);
  os::CloseHandle(notEvent);
  EXPECT_EQ(os::CreateNamedEvent("a/b", true, false), nullptr);
}

TEST(Events, RacingCreatorsAllGetTheOneEventAndLeaveNoTemporaries) {
  Sandbox sandbox;
  std::vector<pid_t> children;
  for (int i = 0; i < 8; ++i) {
    children.push_back(ForkChild([] {
      os::Handle event = os::CreateNamedEvent("RACE", true, false);
      if (event == nullptr) return 1;
      // Every creator's handle must drive the same object.
      return os::WaitForEvent(event, 3000) == WaitResult::kSignaled ? 0 : 2;
    }));
  }
  os::Handle event = nullptr;
  for (int i = 0; i < 200 && event == nullptr; ++i) {
    event = os::OpenNamedEvent("RACE");
    if (event == nullptr) os::SleepMs(5);
  }
  ASSERT_NE(event, nullptr);
  ASSERT_TRUE(os::SetEvent(event));
  // Held until every creator has run: an event all of whose holders have gone is no more, and
  // a creator after that would make a new, unsignalled one (as on Windows).
  for (pid_t child : children) EXPECT_EQ(WaitChild(child), 0);
  os::CloseHandle(event);
  DIR* dir = opendir(sandbox.Path("dev/shm").c_str());
  ASSERT_NE(dir, nullptr);
  int files = 0;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++files;
  }
  closedir(dir);
  EXPECT_EQ(files, 0);  // no temporaries, and the last close took the event with it
}

// A waiter that died, or that is stopped, while it waited leaves nothing behind that later
// signals or waits depend on: every round is answered.
TEST(Events, WaitersThatDieOrStopNeverWedgeTheEvent) {
  for (int signo : {SIGKILL, SIGSTOP}) {
    Sandbox sandbox;
    SCOPED_TRACE(signo);
    os::Handle event = os::CreateNamedEvent("NVX_CFG_EVENT", false, false);
    ASSERT_NE(event, nullptr);
    pid_t stuck = ForkChild([] {
      os::Handle mine = os::OpenNamedEvent("NVX_CFG_EVENT");
      while (mine != nullptr) os::WaitForEvent(mine, os::kInfinite);
      return 1;
    });
    os::SleepMs(100);  // it is asleep on the event by now
    kill(stuck, signo);
    os::SleepMs(20);
    for (int round = 0; round < 20; ++round) {
      WaitResult result = WaitResult::kFailed;
      std::thread waiter([&] { result = os::WaitForEvent(event, 2000); });
      os::SleepMs(2);
      ASSERT_TRUE(os::SetEvent(event));
      waiter.join();
      ASSERT_EQ(result, WaitResult::kSignaled) << round;
    }
    kill(stuck, SIGKILL);
    WaitChild(stuck);
    os::CloseHandle(event);
  }
}

// Any process that may write the event file can fill it with garbage or cut it short: a
// handle then wakes early or keeps to its timeout, but nothing hangs or crashes.
TEST(Events, GarbageOrATruncatedFileNeverHangsNorKills) {
  Sandbox sandbox;
  os::Handle event = os::CreateNamedEvent("NVX_SENSOR_READY_EVENT", true, false);
  ASSERT_NE(event, nullptr);
  std::string path = sandbox.Path("dev/shm/vigil-event.NVX_SENSOR_READY_EVENT");
  int fd = open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  const std::string garbage(sizeof(os::posix::EventState), '\xA7');
  ASSERT_EQ(pwrite(fd, garbage.data(), garbage.size(), 0), static_cast<ssize_t>(garbage.size()));
  EXPECT_EQ(os::WaitForEvent(event, 0), WaitResult::kSignaled);  // a spurious wake-up
  EXPECT_EQ(os::WaitForEvent(event, 0), WaitResult::kSignaled);  // still manual reset
  ASSERT_TRUE(os::ResetEvent(event));
  EXPECT_EQ(os::WaitForEvent(event, 30), WaitResult::kTimeout);
  ASSERT_EQ(ftruncate(fd, 0), 0);
  close(fd);
  auto start = Clock::now();
  EXPECT_NE(os::WaitForEvent(event, 200), WaitResult::kSignaled);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(os::SetEvent(event));  // now on a private page of this process
  EXPECT_EQ(os::WaitForEvent(event, 100), WaitResult::kSignaled);
  EXPECT_GT(os::posix::DetachedPageCount(), 0u);
  os::CloseHandle(event);
}

// The event lives while some process holds it, as on Windows: the last close removes it, and
// what a crashed holder leaves is no event to an opener and a fresh one to a creator.
TEST(Events, EventLivesAsLongAsItsHolders) {
  Sandbox sandbox;
  os::Handle event = os::CreateNamedEvent("LIFE", true, true);
  ASSERT_NE(event, nullptr);
  EXPECT_TRUE(sandbox.Exists("dev/shm/vigil-event.LIFE"));
  os::CloseHandle(event);
  EXPECT_FALSE(sandbox.Exists("dev/shm/vigil-event.LIFE"));
  ASSERT_EQ(RunInChild([] { return os::CreateNamedEvent("LIFE", true, true) != nullptr ? 0 : 1; }), 0);
  EXPECT_TRUE(sandbox.Exists("dev/shm/vigil-event.LIFE"));  // died holding it
  EXPECT_EQ(os::OpenNamedEvent("LIFE"), nullptr);
  event = os::CreateNamedEvent("LIFE", true, false);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(os::WaitForEvent(event, 0), WaitResult::kTimeout);  // not the dead run's state
  os::CloseHandle(event);
}

TEST(Events, ClosingTheHandleDuringAWaitLetsTheWaitFinish) {
  os::Handle event = os::CreateUnnamedEvent(true, false);
  WaitResult result = WaitResult::kFailed;
  std::thread waiter([&] { result = os::WaitForEvent(event, 300); });
  os::SleepMs(50);
  os::CloseHandle(event);  // the agent's teardown does this while the request thread waits
  waiter.join();
  EXPECT_EQ(result, WaitResult::kTimeout);
}

TEST(Events, WrongOrNullHandlesFailCleanly) {
  Sandbox sandbox;
  os::Handle mapping = os::CreateNamedMapping("NotAnEvent", 64);
  ASSERT_NE(mapping, nullptr);
  EXPECT_FALSE(os::SetEvent(mapping));
  EXPECT_FALSE(os::ResetEvent(nullptr));
  EXPECT_EQ(os::WaitForEvent(mapping, 0), WaitResult::kFailed);
  os::CloseHandle(mapping);
  os::CloseHandle(nullptr);
}

TEST(Threads, StartedThreadRunsWithItsArgument) {
  os::Handle done = os::CreateUnnamedEvent(true, false);
  ASSERT_TRUE(os::StartThread([](void* arg) { os::SetEvent(arg); }, done));
  EXPECT_EQ(os::WaitForEvent(done, 5000), WaitResult::kSignaled);
  EXPECT_FALSE(os::StartThread(nullptr, nullptr));
  os::CloseHandle(done);
}

}  // namespace
