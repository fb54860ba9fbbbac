#include <cstring>

#include "agent/eventlog/event_log_reader.h"
#include "agent/eventlog/record_time.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "contract/registry_paths.h"
#include "agent/config/reg_key.h"
#include "agent/shutdown/system_shutdown.h"
#include "eventlog_fixture.h"

namespace vigil::test {
namespace {

struct TriggerCase {
  uint32_t enabled;
  bool overTemp;
  bool newRecord;
  bool powersOff;
};

class ShutdownTest : public EventLogTest {
 protected:
  void Enable() { block::StoreU32(block_.data(), block::kCpuOverTempShutdown, 1); }
  // The position and log identity a previous run of the agent saved.
  void StorePosition(uint32_t position) {
    RegKey key;
    ASSERT_EQ(key.Open(kParametersBasePath, kEventLogParameterSubkey), 0);
    ASSERT_EQ(key.WriteDword(kLogOffsetValue, position), 0);
    ASSERT_EQ(key.WriteDword(kLogFirstTimeValue, device_.firstRecordTime_), 0);
    key.Close();
  }
  LogRecordBytes OverTemperatureNow() const {
    uint8_t bcd[6];
    LocalTimeToBcd(gFixedNow, bcd);
    return MakeRecord(16, 0x12, 0, bcd);
  }

  FakeLogDevice device_;
};

TEST_F(ShutdownTest, PowersOffOnlyWithAllThreeConditions) {
  const TriggerCase cases[] = {
      {1, true, true, true},    {0xFFFFFFFF, true, true, true}, {0, true, true, false},
      {1, false, true, false},  {1, true, false, false},        {0x80000000, true, true, true},
      {1, false, false, false}, {0, false, false, false},
  };
  std::size_t expected = 0;
  for (const TriggerCase& c : cases) {
    block::StoreU32(block_.data(), block::kCpuOverTempShutdown, c.enabled);
    CheckShutdownTrigger(LogPollResult{c.overTemp, c.newRecord});
    if (c.powersOff) ++expected;
    EXPECT_EQ(PowerOffLines().size(), expected) << c.enabled << " " << c.overTemp << " " << c.newRecord;
  }
  const auto lines = PowerOffLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines[0].find("CPU temperature is too high!"), std::string::npos);
}

// After a restart the first poll reads the log again from its start to refill the ring: a
// recent over-temperature record reported by the previous run counts once the poll has
// reported something new, and not before.
TEST_F(ShutdownTest, AnOverTemperatureReadAgainCountsOnceSomethingNewWasReported) {
  Enable();
  device_.Append(OverTemperatureNow());
  StorePosition(16);
  StartReader();
  const LogPollResult known = PollEventLog();
  EXPECT_TRUE(known.recentOverTemperature);
  EXPECT_FALSE(known.newRecordSinceStart);
  CheckShutdownTrigger(known);
  EXPECT_TRUE(PowerOffLines().empty());

  gEventLogReader = EventLogReaderState{};
  device_.Append(MakeRecord(1));
  StartReader();
  const LogPollResult withNew = PollEventLog();
  EXPECT_TRUE(withNew.recentOverTemperature);
  EXPECT_TRUE(withNew.newRecordSinceStart);
  CheckShutdownTrigger(withNew);
  EXPECT_EQ(PowerOffLines().size(), 1u);
}

// A record reported as new in an earlier poll still counts for an over-temperature decoded in
// a later one; a poll that decodes none starts nothing.
TEST_F(ShutdownTest, ANewRecordOfAnEarlierPollCountsForALaterOverTemperature) {
  Enable();
  device_.Append(MakeRecord(1));
  StartReader();
  CheckShutdownTrigger(PollEventLog());
  CheckShutdownTrigger(PollEventLog());
  EXPECT_TRUE(PowerOffLines().empty());
  device_.Append(OverTemperatureNow());
  CheckShutdownTrigger(PollEventLog());
  EXPECT_EQ(PowerOffLines().size(), 1u);
  CheckShutdownTrigger(PollEventLog());
  EXPECT_EQ(PowerOffLines().size(), 1u);
}

}  // namespace
}  // namespace vigil::test
