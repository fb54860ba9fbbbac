// The start both event log suites share: a fresh agent beside hwgate-sim on the Kelvo C850
// scenario, past its first poll, which reports the scenario's whole log.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstddef>
#include <memory>

#include "eventlog_system.h"

namespace vigil::test {

constexpr std::size_t kScenarioRecords = 14;  // fixtures/scenarios/kelvo-c850.json

class KelvoC850Run : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    system_ = std::make_unique<EventLogSystem>("kelvo-c850.json", "Kelvo C850");
    ASSERT_EQ(system_->StartAgent(), 0) << system_->Log();
    // The agent polls every 6 s; the first poll comes at start-up.
    ASSERT_TRUE(system_->WaitForEvents(kScenarioRecords, std::chrono::seconds(8)));
  }
  std::unique_ptr<EventLogSystem> system_;
};

}  // namespace vigil::test
