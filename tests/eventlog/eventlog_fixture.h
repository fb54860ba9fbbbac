// Common ground of the event log tests: a fresh machine, a private block, the scripted device,
// a fixed clock and the test event table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "agent/eventlog/decoded_event.h"
#include "fake_log_device.h"
#include "support/memory_machine.h"

namespace vigil::test {

// Model name of the event table every test loads (see eventlog_fixture.cpp).
constexpr const char* kTestModel = "Eventlog Test Model";
// The fixed "now" of the injected clock: 2004-03-15 10:21:00 in the test time zone.
extern std::time_t gFixedNow;

// Sets TZ for this process and re-reads it.
void UseTimeZone(const char* tz);

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // One line per system event log report (source, id, category, type name, text and fields as
  // "name":"value" pairs), per message box ("caption: text") and per power-off request.
  std::vector<std::string> EventLines() const;
  std::vector<std::string> MessageLines() const;
  std::vector<std::string> PowerOffLines() const;
  // MessageLines() leaves out the boxes shown so far.
  void ForgetMessages() { messagesForgotten_ = os::memory::MessageBoxes().size(); }

  HistoryEntry Entry(std::size_t slot) const;
  uint16_t NextSlot() const;
  uint16_t AppendCount() const;

  // A type-15 structure of access method 4 that gives the log `size` bytes, as the parser
  // hands it over at start-up (also loads the stored position).
  void StartReader(uint16_t size = 4096);
  // Writes c:\test_log.csv, opens the test log on it and makes it the reader's source, as the
  // start-up does when it finds the file.
  void StartTestLog(const std::string& contents);

  MemoryMachine machine_;
  std::size_t messagesForgotten_ = 0;
  std::vector<uint8_t> block_;
};

}  // namespace vigil::test
