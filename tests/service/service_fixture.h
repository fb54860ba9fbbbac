// What the service tests share: a sandbox, a block the agent code sees as gBlock, a stop event,
// and looks into what the agent left behind (message boxes, registry).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/registry_paths.h"
#include "os/os.h"
#include "service/service_entry.h"
#include "shared/block_layout.h"
#include "shared/shared_block.h"
#include "support/sandbox.h"

namespace vigil::test {

class ServiceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    gStopEvent = os::CreateUnnamedEvent(true, false);
    ASSERT_NE(gStopEvent, nullptr);
    gServiceStatus.currentState = os::kServiceRunning;
    OpenControlHandling();
  }
  void TearDown() override {
    os::CloseHandle(gStopEvent);
    gStopEvent = nullptr;
    gServiceStatus.currentState = 0;
    gBlock = nullptr;
    gView = nullptr;
  }

  bool StopSignalled() { return os::WaitForEvent(gStopEvent, 0) == os::WaitResult::kSignaled; }

  // How many message boxes showed `text`.
  std::size_t Boxes(const std::string& text) const {
    const std::string path = "var/log/vigilagent/messages.log";
    if (!sandbox_.Exists(path)) return 0;
    const std::string log = sandbox_.ReadFile(path);
    std::size_t n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }

  void SeedParameters(uint32_t cpu, uint32_t clear) {
    const std::string path = std::string(kParametersBasePath) + kAgentParameterSubkey;
    os::RegHandle key = nullptr;
    ASSERT_EQ(os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
    EXPECT_EQ(os::RegSetValue(key, kCpuOverTempShutdownValue, os::kRegDword, &cpu, sizeof cpu), os::kErrorSuccess);
    EXPECT_EQ(os::RegSetValue(key, kClearEventLogEnabledValue, os::kRegDword, &clear, sizeof clear), os::kErrorSuccess);
    os::RegCloseKey(key);
  }

  Sandbox sandbox_;
};

}  // namespace vigil::test
