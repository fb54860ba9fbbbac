// What the service tests share: a sandbox, a stop event, the message boxes shown so far.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "os/os.h"
#include "agent/service/service_entry.h"
#include "agent/shared/shared_block.h"
#include "support/sandbox.h"

namespace vigil::test {

class ServiceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    gStopEvent = os::CreateUnnamedEvent(true, false);
    gServiceStatus.currentState = os::kServiceRunning;
    OpenControlHandling();
  }
  void TearDown() override {
    os::CloseHandle(gStopEvent);
    gStopEvent = nullptr;
    gBlock = gView = nullptr;
  }
  bool StopSignalled() { return os::WaitForEvent(gStopEvent, 0) == os::WaitResult::kSignaled; }
  std::size_t Boxes(const std::string& text) const {
    const std::string path = "var/log/vigilagent/messages.log";
    const std::string log = sandbox_.Exists(path) ? sandbox_.ReadFile(path) : "";
    std::size_t n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }

  Sandbox sandbox_;
};

}  // namespace vigil::test
