// The power-off sequence with every Win32 call replaced by a recorder: nothing is shut down.
#include "os/win32/win32_api.h"  // <windows.h> without the macros that hide port names

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/os.h"
#include "os/win32/shutdown_calls.h"
#include "../support/test_name.h"  // this target has no tests/ include path

namespace vigil::wintest {
namespace {

struct Recorder {
  std::vector<std::string> calls;
  DWORD platform = VER_PLATFORM_WIN32_NT;
  DWORD major = 10;
  DWORD versionSize = 0;
  DWORD tokenAccess = 0;
  std::string privilege;
  std::vector<DWORD> attributes;
  UINT exitFlags = 0;
  DWORD exitReason = 0xFFFF;
  std::string shutdownMessage;
  DWORD shutdownTimeout = 99;
  BOOL forceClosed = FALSE;
  BOOL reboot = TRUE;
  bool machineNull = false;
};
Recorder* gRecorder = nullptr;
HANDLE const kToken = reinterpret_cast<HANDLE>(0x1234);

BOOL WINAPI FakeOpenProcessToken(HANDLE, DWORD access, HANDLE* token) {
  gRecorder->calls.push_back("OpenProcessToken");
  gRecorder->tokenAccess = access;
  *token = kToken;
  return TRUE;
}
BOOL WINAPI FakeLookupPrivilegeValue(const char* system, const char* name, LUID* luid) {
  gRecorder->calls.push_back(system == nullptr ? "LookupPrivilegeValue(local)" : "Lookup(remote)");
  gRecorder->privilege = name;
  luid->LowPart = 19;
  luid->HighPart = 0;
  return TRUE;
}
BOOL WINAPI FakeAdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* state,
                                      DWORD, TOKEN_PRIVILEGES*, DWORD*) {
  gRecorder->calls.push_back(token == kToken && !disableAll && state->PrivilegeCount == 1 &&
                                     state->Privileges[0].Luid.LowPart == 19
                                 ? "AdjustTokenPrivileges"
                                 : "AdjustTokenPrivileges(wrong)");
  gRecorder->attributes.push_back(state->Privileges[0].Attributes);
  return TRUE;
}
BOOL WINAPI FakeGetVersionEx(OSVERSIONINFOA* info) {
  gRecorder->calls.push_back("GetVersionExA");
  gRecorder->versionSize = info->dwOSVersionInfoSize;
  info->dwPlatformId = gRecorder->platform;
  info->dwMajorVersion = gRecorder->major;
  return TRUE;
}
BOOL WINAPI FakeExitWindowsEx(UINT flags, DWORD reason) {
  gRecorder->calls.push_back("ExitWindowsEx");
  gRecorder->exitFlags = flags;
  gRecorder->exitReason = reason;
  return TRUE;
}
BOOL WINAPI FakeInitiateSystemShutdown(char* machine, char* message, DWORD timeout, BOOL force,
                                       BOOL reboot) {
  gRecorder->calls.push_back("InitiateSystemShutdownA");
  gRecorder->machineNull = machine == nullptr;
  gRecorder->shutdownMessage = message != nullptr ? message : "<null>";
  gRecorder->shutdownTimeout = timeout;
  gRecorder->forceClosed = force;
  gRecorder->reboot = reboot;
  return TRUE;
}
BOOL WINAPI FakeCloseHandle(HANDLE handle) {
  gRecorder->calls.push_back(handle == kToken ? "CloseHandle(token)" : "CloseHandle(other)");
  return TRUE;
}
// Failing calls must not stop the later steps.
BOOL WINAPI FailingOpenProcessToken(HANDLE, DWORD, HANDLE*) {
  gRecorder->calls.push_back("OpenProcessToken");
  return FALSE;
}

class Shutdown : public ::testing::Test {
 protected:
  void SetUp() override {
    gRecorder = &recorder_;
    saved_ = os::win32::gShutdownCalls;
    os::win32::gShutdownCalls = {FakeOpenProcessToken, FakeLookupPrivilegeValue,
                                 FakeAdjustTokenPrivileges, FakeGetVersionEx, FakeExitWindowsEx,
                                 FakeInitiateSystemShutdown, FakeCloseHandle};
  }
  void TearDown() override {
    os::win32::gShutdownCalls = saved_;
    gRecorder = nullptr;
  }
  Recorder recorder_;
  os::win32::ShutdownCalls saved_{};
};

struct VersionCase {
  DWORD platform;
  DWORD major;
  const char* powerOff;
};
class ByVersion : public Shutdown, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(ByVersion, PrivilegeAroundThePowerOffCallOfTheVersion) {
  recorder_.platform = GetParam().platform;
  recorder_.major = GetParam().major;
  os::ShutdownSystem("CPU temperature is too high!");
  const std::vector<std::string> expected = {
      "OpenProcessToken", "LookupPrivilegeValue(local)", "AdjustTokenPrivileges",
      "GetVersionExA",    GetParam().powerOff,           "AdjustTokenPrivileges",
      "CloseHandle(token)"};
  EXPECT_EQ(recorder_.calls, expected);
  EXPECT_EQ(recorder_.tokenAccess, static_cast<DWORD>(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY));
  EXPECT_EQ(recorder_.privilege, "SeShutdownPrivilege");
  EXPECT_EQ(recorder_.attributes, (std::vector<DWORD>{SE_PRIVILEGE_ENABLED, 0}));
  EXPECT_EQ(recorder_.versionSize, 148u);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, ByVersion,
    ::testing::Values(VersionCase{VER_PLATFORM_WIN32_NT, 10, "ExitWindowsEx"},
                      VersionCase{VER_PLATFORM_WIN32_NT, 5, "ExitWindowsEx"},
                      VersionCase{VER_PLATFORM_WIN32_NT, 4, "InitiateSystemShutdownA"},
                      VersionCase{VER_PLATFORM_WIN32_WINDOWS, 5, "InitiateSystemShutdownA"}),
    [](const auto& info) {
      return vigil::test::TestName(std::string(info.param.platform == VER_PLATFORM_WIN32_NT ? "nt" : "win9x") + "_" +
                                   std::to_string(info.param.major) + "_" + info.param.powerOff);
    });

TEST_F(Shutdown, ModernSystemsPowerOffAtOnceByForce) {
  os::ShutdownSystem("CPU temperature is too high!");
  EXPECT_EQ(recorder_.exitFlags, static_cast<UINT>(EWX_POWEROFF | EWX_FORCE));
  EXPECT_EQ(recorder_.exitReason, 0u);
}

TEST_F(Shutdown, OlderSystemsShowTheMessageAndDoNotRestart) {
  recorder_.major = 4;
  os::ShutdownSystem("CPU temperature is too high!");
  EXPECT_TRUE(recorder_.machineNull);
  EXPECT_EQ(recorder_.shutdownMessage, "CPU temperature is too high!");
  EXPECT_EQ(recorder_.shutdownTimeout, 0u);
  EXPECT_TRUE(recorder_.forceClosed);
  EXPECT_FALSE(recorder_.reboot);
}

TEST_F(Shutdown, AFailedStepDoesNotStopTheOthers) {
  os::win32::gShutdownCalls.openProcessToken = FailingOpenProcessToken;
  os::ShutdownSystem(nullptr);
  EXPECT_EQ(recorder_.calls,
            (std::vector<std::string>{"OpenProcessToken", "LookupPrivilegeValue(local)",
                                      "AdjustTokenPrivileges(wrong)", "GetVersionExA",
                                      "ExitWindowsEx", "AdjustTokenPrivileges(wrong)"}));
}

}  // namespace
}  // namespace vigil::wintest
