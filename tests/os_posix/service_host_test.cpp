// The service host in a forked child: signals in, control codes to the handler, status lines
// and systemd notifications out.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "os/os.h"
#include "support/sandbox.h"

namespace {

using vigil::test::ForkChild;
using vigil::test::Sandbox;
using vigil::test::WaitChild;
using vigil::test::WaitUntil;

// The service of the child process; its globals are the child's own copies.
os::Handle gStop = nullptr;
os::Handle gStatus = nullptr;
std::string gControlLog;

void Note(const std::string& text) {
  if (std::FILE* log = std::fopen(gControlLog.c_str(), "a")) {
    std::fprintf(log, "%s\n", text.c_str());
    std::fclose(log);
  }
}

void Report(uint32_t state, uint32_t controls) {
  bool starting = state == os::kServiceStartPending;
  os::ServiceStatus status{0x30, state, controls, 0, 0, starting ? 1u : 0u, starting ? 1000u : 0u};
  os::SetServiceStatus(gStatus, status);
}

void Handler(uint32_t control) {
  Note(std::to_string(control));
  if (control == 1 || control == 5) {
    Report(os::kServiceStopPending, 5);
    os::SetEvent(gStop);
  }
}

void ServiceMain(uint32_t argc, char** argv) {
  Note("main " + std::to_string(argc) + " " + argv[0]);
  if (os::RegisterServiceCtrlHandler("SomeOtherService", Handler) == nullptr) Note("other refused");
  gStatus = os::RegisterServiceCtrlHandler("Vigilagent", Handler);
  Report(os::kServiceStartPending, 0);
  gStop = os::CreateUnnamedEvent(true, false);
  Report(os::kServiceRunning, 5);
  os::WaitForEvent(gStop, os::kInfinite);
  Report(os::kServiceStopPending, 0);
  os::CloseHandle(gStop);
  Report(os::kServiceStopped, 0);
}

pid_t StartService(const Sandbox& sandbox, const std::string& notifySocket = "") {
  gControlLog = sandbox.Path("controls.log");
  return ForkChild([notifySocket] {
    if (!notifySocket.empty()) setenv("NOTIFY_SOCKET", notifySocket.c_str(), 1);
    return os::StartServiceDispatcher("Vigilagent", ServiceMain) ? 0 : 1;
  });
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool FileHasLine(const Sandbox& sandbox, const char* file, const std::string& wanted) {
  for (const std::string& line : Lines(sandbox.ReadFile(file))) {
    if (line == wanted || line.rfind(wanted + " ", 0) == 0) return true;
  }
  return false;
}

TEST(ServiceHost, StopSignalRunsTheWholeStatusSequence) {
  Sandbox sandbox;
  sandbox.WriteFile("run/vigilagent/status", "STALE from the last run\n");
  pid_t child = StartService(sandbox);
  ASSERT_TRUE(WaitUntil([&] { return FileHasLine(sandbox, "run/vigilagent/status", "RUNNING"); },
                        std::chrono::seconds(10)));
  kill(child, SIGTERM);
  EXPECT_EQ(WaitChild(child), 0);
  EXPECT_EQ(Lines(sandbox.ReadFile("run/vigilagent/status")),
            (std::vector<std::string>{
                "START_PENDING controls=0 exit=0 service_exit=0 checkpoint=1 wait_hint=1000",
                "RUNNING controls=5 exit=0 service_exit=0 checkpoint=0 wait_hint=0",
                "STOP_PENDING controls=5 exit=0 service_exit=0 checkpoint=0 wait_hint=0",
                "STOP_PENDING controls=0 exit=0 service_exit=0 checkpoint=0 wait_hint=0",
                "STOPPED controls=0 exit=0 service_exit=0 checkpoint=0 wait_hint=0"}));
  EXPECT_EQ(Lines(sandbox.ReadFile("controls.log")),
            (std::vector<std::string>{"main 1 Vigilagent", "other refused", "1"}));
}

// Voluntary context switches of thread `tid` of this process so far: one per wake-up.
long WakeupsOf(pid_t tid) {
  std::FILE* status = std::fopen(("/proc/self/task/" + std::to_string(tid) + "/status").c_str(), "r");
  if (status == nullptr) return -1;
  long count = -1;
  char line[256];
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &count) == 1) break;
  }
  std::fclose(status);
  return count;
}

// The dispatcher is the child's first thread (its id is the process id).
void IdleServiceMain(uint32_t, char**) {
  os::SleepMs(100);  // the dispatcher reaches its wait
  const long before = WakeupsOf(getpid());
  os::SleepMs(1000);
  Note("wakeups " + std::to_string(WakeupsOf(getpid()) - before));
}

// Idle, the dispatcher sleeps in its signal wait until a signal or the service's end: it does
// not wake to look whether the service has ended, and it still returns when it has.
TEST(ServiceHost, TheDispatcherSleepsUntilTheServiceEnds) {
  Sandbox sandbox;
  gControlLog = sandbox.Path("controls.log");
  pid_t child = ForkChild([] { return os::StartServiceDispatcher("Vigilagent", IdleServiceMain) ? 0 : 1; });
  EXPECT_EQ(WaitChild(child), 0);
  const std::vector<std::string> lines = Lines(sandbox.ReadFile("controls.log"));
  ASSERT_EQ(lines.size(), 1u);
  long wakeups = -1;
  ASSERT_EQ(std::sscanf(lines[0].c_str(), "wakeups %ld", &wakeups), 1) << lines[0];
  EXPECT_LE(wakeups, 1) << "the dispatcher woke while nothing happened";
}

struct SignalCase {
  int signo;
  uint32_t control;
};

class ServiceSignalTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(ServiceSignalTest, SignalReachesTheHandlerAsItsControlCode) {
  Sandbox sandbox;
  pid_t child = StartService(sandbox);
  ASSERT_TRUE(WaitUntil([&] { return FileHasLine(sandbox, "run/vigilagent/status", "RUNNING"); },
                        std::chrono::seconds(10)));
  kill(child, GetParam().signo);
  std::string code = std::to_string(GetParam().control);
  EXPECT_TRUE(WaitUntil([&] { return FileHasLine(sandbox, "controls.log", code); },
                        std::chrono::seconds(10)));
  if (GetParam().control != 1 && GetParam().control != 5) {
    os::SleepMs(150);
    EXPECT_EQ(WaitChild(child, std::chrono::milliseconds(1)), -1) << "a non-stop code ended it";
    child = -1;
  } else {
    EXPECT_EQ(WaitChild(child), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, ServiceSignalTest,
                         ::testing::Values(SignalCase{SIGTERM, 1}, SignalCase{SIGINT, 1},
                                           SignalCase{SIGPWR, 5}, SignalCase{SIGUSR1, 128},
                                           SignalCase{SIGUSR2, 4}),
    [](const auto& info) { return std::string("SIG") + sigabbrev_np(info.param.signo); });

// A datagram socket standing in for systemd's notification socket.
class NotifyListener {
 public:
  explicit NotifyListener(const std::string& name) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.data(), name.size());
    if (name[0] == '@') address.sun_path[0] = '\0';
    socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + name.size());
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), size), 0) << name;
  }
  ~NotifyListener() { close(fd_); }
  std::string Next() {
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, 10000) <= 0) return "<nothing>";
    char buffer[512];
    ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, std::size_t(got)) : "<error>";
  }

 private:
  int fd_;
};

class ServiceNotifyTest : public ::testing::TestWithParam<bool> {};

TEST_P(ServiceNotifyTest, SystemdHearsReadyStoppingAndEveryState) {
  Sandbox sandbox;
  bool abstract = GetParam();
  std::string name = abstract ? "@vigil-notify-" + std::to_string(getpid())
                              : sandbox.Path("notify.sock");
  NotifyListener listener(name);
  pid_t child = StartService(sandbox, name);
  EXPECT_EQ(listener.Next(), "STATUS=START_PENDING");
  EXPECT_EQ(listener.Next(), "READY=1\nSTATUS=RUNNING");
  kill(child, SIGTERM);
  EXPECT_EQ(listener.Next(), "STOPPING=1\nSTATUS=STOP_PENDING");
  EXPECT_EQ(listener.Next(), "STOPPING=1\nSTATUS=STOP_PENDING");
  EXPECT_EQ(listener.Next(), "STATUS=STOPPED");
  EXPECT_EQ(WaitChild(child), 0);
}

INSTANTIATE_TEST_SUITE_P(Sockets, ServiceNotifyTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "abstract" : "path"; });

TEST(ServiceHost, OutsideADispatcherNothingRegisters) {
  Sandbox sandbox;
  EXPECT_EQ(os::RegisterServiceCtrlHandler("Vigilagent", Handler), nullptr);
  EXPECT_EQ(os::RegisterServiceCtrlHandler(nullptr, Handler), nullptr);
  EXPECT_FALSE(os::StartServiceDispatcher(nullptr, ServiceMain));
  EXPECT_FALSE(os::StartServiceDispatcher("Vigilagent", nullptr));
  os::ServiceStatus status{0x30, os::kServiceRunning, 5, 0, 0, 0, 0};
  EXPECT_FALSE(os::SetServiceStatus(nullptr, status));
  EXPECT_FALSE(sandbox.Exists("run/vigilagent/status"));
}

}  // namespace
