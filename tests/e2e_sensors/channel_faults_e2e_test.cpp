// The request channel against dead, stopped and hostile local processes: the agent keeps
// answering, stops within its bound, and no other user can reach it.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <string>

#include "support/agent_rig.h"
#include "metrics_server_probe.h"
#include "os/os.h"
#include "os/posix/event_state.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

constexpr int kRounds = 20;

int AnsweredRequests(AgentRig& h) {
  int answered = 0;
  for (int i = 0; i < kRounds; ++i) answered += h.Vigilctl({"request", "0", "--wait"}).status == 0;
  return answered;
}

// A client process that opens the block and both events (holding them) and then sleeps on the
// reply event with no time limit, as `vigilctl sensors` does while the platform is slow.
pid_t StartWaitingClient() {
  pid_t child = fork();
  if (child == 0) {
    os::Handle block = os::OpenNamedMapping(block::kName, block::kSize, nullptr);
    os::Handle request = os::OpenNamedEvent(kRequestEventName);
    os::Handle reply = os::OpenNamedEvent(kReplyEventName);
    if (block == nullptr || request == nullptr || reply == nullptr || os::MapWholeView(block) == nullptr) _exit(1);
    os::ResetEvent(reply);
    while (true) os::WaitForEvent(reply, os::kInfinite);
  }
  os::SleepMs(200);  // asleep in its wait by now
  return child;
}

void EndChild(pid_t child) {
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

// kill -9 of the agent during its wait (what Restart=on-failure then restarts), a client
// killed while it waits for the reply, and a client stopped in its wait: every request after
// is answered, and a stopped client does not hold up the agent's stop.
TEST(ChannelFaultsE2eTest, DeadOrStoppedProcessesNeverWedgeRequests) {
  AgentRig h;
  ASSERT_EQ(h.Start("kelvo-b720.json"), 0) << h.Log();
  ASSERT_EQ(h.Vigilctl({"request", "0", "--wait"}).status, 0);
  ASSERT_EQ(h.RestartAgent(SIGKILL), 0) << h.Log();
  EXPECT_EQ(AnsweredRequests(h), kRounds);

  pid_t killed = StartWaitingClient();
  EndChild(killed);
  EXPECT_EQ(AnsweredRequests(h), kRounds);

  pid_t stopped = StartWaitingClient();
  kill(stopped, SIGSTOP);
  EXPECT_EQ(AnsweredRequests(h), kRounds);
  const auto stopAt = std::chrono::steady_clock::now();
  ASSERT_TRUE(h.agent().Signal(SIGTERM));
  EXPECT_EQ(h.agent().Wait(35s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 10s);
  EndChild(stopped);
}

// Cutting the block and the events short, or filling the events with garbage, is within reach
// of every process allowed to write them: the agent lives through it and still stops cleanly.
TEST(ChannelFaultsE2eTest, TruncatedOrGarbageObjectsNeverKillTheAgent) {
  AgentRig h;
  ASSERT_EQ(h.Start("kelvo-b720.json"), 0) << h.Log();
  const std::string shm = h.sandbox().Path("dev/shm/");
  for (const char* event : {kRequestEventName, kReplyEventName}) {
    int fd = open((shm + "vigil-event." + event).c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    const uint32_t garbage = 0xEEEEEEEE;  // into the state word: at worst a spurious wake-up
    EXPECT_EQ(pwrite(fd, &garbage, sizeof garbage, offsetof(os::posix::EventState, signaled)), 4);
    close(fd);
  }
  os::SleepMs(200);
  EXPECT_EQ(h.Vigilctl({"request", "0", "--wait"}).status, 0);
  for (const char* name : {kRequestEventName, kReplyEventName}) {
    ASSERT_EQ(truncate((shm + "vigil-event." + name).c_str(), 0), 0);
  }
  ASSERT_EQ(truncate((shm + block::kName).c_str(), 0), 0);
  h.Vigilctl({"request", "0", "--wait"});
  os::SleepMs(1500);  // a poll and a request on the cut objects
  EXPECT_TRUE(h.agent().Running());
  ASSERT_TRUE(h.agent().Signal(SIGTERM));
  EXPECT_EQ(h.agent().Wait(35s), 0) << h.agent().Stderr();
}

// A group member cuts the block short: the running agent gives it back its size and contents at
// its next poll, and an agent started while a client still holds the cut file takes it back
// rather than run on a block no client sees.
TEST(ChannelFaultsE2eTest, ACutBlockIsRestoredAndARestartedAgentTakesItBack) {
  AgentRig h;
  ASSERT_EQ(h.Start("kelvo-b720.json"), 0) << h.Log();
  const std::string path = h.sandbox().Path(std::string("dev/shm/") + block::kName);
  const std::string before = h.Vigilctl({"sensors", "--no-refresh"}).out;
  // A long-lived client that scrapes while the block is cut (its view loses those pages).
  MetricsServerProbe server({"--refresh-interval", "0", "--refresh-timeout", "300"});
  ASSERT_GT(server.port(), 0) << server.process().Stderr();
  const std::string get = "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  auto restored = [&](const char* what) {
    struct stat st{};
    EXPECT_TRUE(WaitUntil([&] { return stat(path.c_str(), &st) == 0 && std::size_t(st.st_size) == block::kSize; }, 10s))
        << what;
    RunResult status = h.Vigilctl({"status"});
    EXPECT_EQ(status.status, 0) << what << status.err;
    EXPECT_NE(status.out.find("Start-up complete     1"), std::string::npos) << what << status.out;
    EXPECT_EQ(h.Vigilctl({"sensors", "--no-refresh"}).out, before) << what;
    const std::string scraped = Exchange(server.ConnectRaw(), get);
    EXPECT_NE(scraped.find("vigil_agent_up 1\n"), std::string::npos) << what << scraped.substr(0, 400);
    EXPECT_NE(scraped.find("vigil_temperature_celsius{"), std::string::npos) << what;
  };
  for (off_t size : {100, 0}) {
    ASSERT_EQ(truncate(path.c_str(), size), 0);
    Exchange(server.ConnectRaw(), get);
    restored(size == 0 ? "cut to 0" : "cut to 100");
  }
  // Cut while no agent runs; this test process still holds the file (the harness's view).
  ASSERT_TRUE(h.agent().Signal(SIGTERM));
  ASSERT_GE(h.agent().Wait(15s), 0);
  ASSERT_EQ(truncate(path.c_str(), 0), 0);
  Process again(BinaryPath("vigilagent"), {});
  EXPECT_TRUE(WaitUntil([&] { return h.Vigilctl({"status"}).out.find("Start-up complete     1") != std::string::npos; },
                        15s))
      << again.Stderr();
  restored("restarted");
  again.Signal(SIGTERM);
  EXPECT_EQ(again.Wait(15s), 0);
  const std::string log = h.sandbox().ReadFile("var/log/vigilagent/messages.log");
  EXPECT_NE(log.find("was cut to 100 of 157072 bytes by another process; its size and contents are restored"),
            std::string::npos) << log;
}

// Another local user can neither steer the agent nor the simulator, and what it plants in
// /dev/shm before the agent starts is replaced, not adopted.
TEST(ChannelFaultsE2eTest, OtherUsersCannotReachOrSquatTheChannel) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  auto plant = [](const Sandbox& sandbox) {
    sandbox.OpenToOtherUsers();
    const std::string shm = sandbox.Path("dev/shm/");
    int fd = open((shm + block::kName).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, block::kSize), 0);
    ASSERT_EQ(fchown(fd, 65534, 65534), 0);
    close(fd);
    ASSERT_EQ(symlink("/dev/null", (shm + "vigil-event." + kRequestEventName).c_str()), 0);
  };
  AgentRig h;
  ASSERT_EQ(h.StartSimulator("kelvo-b720.json"), 0) << h.Log();
  ASSERT_NO_FATAL_FAILURE(plant(h.sandbox()));
  ASSERT_EQ(h.StartAgent(), 0) << h.Log();
  struct stat st;
  ASSERT_EQ(lstat(h.sandbox().Path(std::string("dev/shm/") + block::kName).c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(AnsweredRequests(h), kRounds);

  auto asNobody = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups"});
    return vigil::test::Run("/usr/bin/setpriv", args, 20s);
  };
  RunResult set = asNobody({BinaryPath("vigilctl"), "set-param", "cpu-overtemp-shutdown", "on"});
  EXPECT_NE(set.status, 0) << set.out << set.err;
  EXPECT_EQ(block::LoadU32(h.block(), block::kCpuOverTempShutdown), 0u);
  // Told what stands in the way, not that the running agent is absent.
  EXPECT_NE(set.err.find("permission denied"), std::string::npos) << set.err;
  EXPECT_NE(set.err.find("\"vigilagent\""), std::string::npos) << set.err;
  h.sandbox().WriteFile("collector/keep", "");
  RunResult textfile = asNobody({BinaryPath("vigilctl"), "metrics", "--textfile", h.sandbox().Path("collector")});
  EXPECT_NE(textfile.err.find("(EACCES)"), std::string::npos) << textfile.err;
  RunResult ctl = asNobody({BinaryPath("hwgate-sim"), "ctl", "stats"});
  EXPECT_NE(ctl.status, 0) << ctl.out;
  struct stat sock;
  ASSERT_EQ(stat(h.sandbox().Path("run/hwgate.sock").c_str(), &sock), 0);
  EXPECT_EQ(sock.st_mode & 0777, 0660u);
}

}  // namespace
}  // namespace vigil::test
