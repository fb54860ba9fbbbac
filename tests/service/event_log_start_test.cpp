// The start-up's hand-over to the event log reader: which log it follows, and from where.
#include "agent/service/event_log_start.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "agent/eventlog/event_log_reader.h"
#include "agent/eventlog/test_log.h"
#include "agent/platform/smbios_parser.h"
#include "agent/shared/shared_block.h"
#include "contract/block_layout.h"
#include "contract/smbios_types.h"
#include "support/memory_machine.h"

namespace vigil {
namespace {

// A type-15 structure of the 2.0 layout: a log of 0x1000 bytes reached by `method`.
std::vector<uint8_t> EventLog(uint8_t method) {
  std::vector<uint8_t> s(smbios::kEventLogMinLength, 0);
  s[0] = smbios::kTypeSystemEventLog;
  s[1] = uint8_t(s.size());
  s[smbios::kEventLogAreaLengthField + 1] = 0x10;
  s[smbios::kEventLogDataStartField] = 0x10;
  s[smbios::kEventLogAccessMethodField] = method;
  s[smbios::kEventLogAccessAddressField + 3] = 0xFF;
  return s;
}

class EventLogStartTest : public ::testing::Test {
 protected:
  // Also between the cases of one test: a fresh agent each.
  void SetUp() override {
    ResetAgentState();
    gBlock = block_.data();
  }
  // Lays the structures out in the table and notes them in the inventory, as a parse would.
  void Note(const std::vector<std::vector<uint8_t>>& structures) {
    std::size_t at = kSmbiosDataArea;
    for (const auto& s : structures) {
      std::memcpy(table_.data() + at, s.data(), s.size());
      gInventory.eventLogs[gInventory.eventLogCount++] = {uint16_t(at), uint16_t(s.size())};
      at += s.size() + 2;
    }
  }
  static std::size_t Events() { return os::memory::ReportedEvents().size(); }

  test::MemoryMachine machine_;
  std::vector<uint8_t> table_ = std::vector<uint8_t>(kSmbiosTableSize, 0);
  std::vector<uint8_t> block_ = std::vector<uint8_t>(block::kSize, 0);
};

struct FollowCase {
  const char* name;
  std::vector<uint8_t> methods;  // one type-15 structure each
  bool parsed;
  uint16_t expected;  // log data size, starting from 7
};

TEST_F(EventLogStartTest, TheReaderFollowsTheLastUsableLogOfAFreshInventory) {
  const FollowCase cases[] = {
      {"memory-mapped", {3}, true, 0x1000 - 0x10},
      {"general-purpose", {4}, true, 0x1000},
      {"none in the table", {}, true, 0},
      {"unusable only", {0}, true, 0},
      {"a later unusable one keeps the earlier", {4, 1}, true, 0x1000},
      {"the later usable one wins", {3, 4}, true, 0x1000},
      {"no table parsed: the log followed stays", {4}, false, 7},
  };
  for (const FollowCase& c : cases) {
    SetUp();
    std::vector<std::vector<uint8_t>> structures;
    for (uint8_t method : c.methods) structures.push_back(EventLog(method));
    Note(structures);
    gEventLogReader.logDataSize = 7;
    StartEventLogReader(table_.data(), c.parsed);
    EXPECT_EQ(gEventLogReader.logDataSize, c.expected) << c.name;
  }
}

TEST_F(EventLogStartTest, ATestLogPresentAtStartReplacesTheDriver) {
  Note({EventLog(4)});
  // No driver channel is open: only a replay can produce events.
  StartEventLogReader(table_.data(), true);
  EXPECT_FALSE(gTestLog.IsActive());
  PollEventLog();
  EXPECT_EQ(Events(), 0u);

  ASSERT_TRUE(os::memory::PutFile(kTestLogPath, "1,4,0\n10,8,0\n"));
  StartEventLogReader(table_.data(), true);
  EXPECT_TRUE(gTestLog.IsActive());
  PollEventLog();
  EXPECT_EQ(Events(), 2u);
}

}  // namespace
}  // namespace vigil
