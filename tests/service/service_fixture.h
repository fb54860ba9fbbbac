// What the service tests share: a fresh machine, a stop event, the message boxes shown so far.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "os/os.h"
#include "agent/service/service_entry.h"
#include "agent/shared/shared_block.h"
#include "contract/block_layout.h"
#include "support/memory_machine.h"
#include "support/wait_until.h"

namespace vigil::test {

class ServiceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    gStopEvent = os::CreateUnnamedEvent(true, false);
    gServiceStatus.currentState = os::kServiceRunning;
    OpenControlHandling();
  }
  void TearDown() override { os::CloseHandle(gStopEvent); }
  bool StopSignalled() { return os::WaitForEvent(gStopEvent, 0) == os::WaitResult::kSignaled; }
  // How often `text` was shown, in "caption: text" form.
  std::size_t Boxes(const std::string& text) const {
    std::size_t n = 0;
    for (const auto& box : os::memory::MessageBoxes()) {
      const std::string shown = box.caption + ": " + box.text;
      for (auto at = shown.find(text); at != std::string::npos; at = shown.find(text, at + 1)) ++n;
    }
    return n;
  }
  // What a client sees of the named block now.
  static std::string BlockBytes() { return os::memory::MappingBytes(block::kName).value_or(""); }

  MemoryMachine machine_;
};

}  // namespace vigil::test
