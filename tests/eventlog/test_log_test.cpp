#include <cstring>
#include <deque>
#include <string>

#include "agent/config/reg_key.h"
#include "contract/registry_paths.h"
#include "agent/eventlog/event_log_reader.h"
#include "contract/driver_protocol.h"
#include "agent/eventlog/record_time.h"
#include "agent/eventlog/test_log.h"
#include "eventlog_fixture.h"
#include "agent/shutdown/system_shutdown.h"

namespace vigil::test {
namespace {

class TestLogTest : public EventLogTest {
 protected:
  // Replayed records never reach the device; it is only there for the alert command.
  FakeLogDevice device_;
};

uint32_t WordAt(const LogReadRecord& r, std::size_t offset) {
  uint32_t v;
  std::memcpy(&v, r.data + offset, 4);
  return v;
}

TEST_F(TestLogTest, WithoutTheFileNothingIsProduced) {
  EXPECT_FALSE(gTestLog.IsActive());
  LogReadRecord r;
  std::memset(&r, 0xAB, sizeof r);
  EXPECT_FALSE(gTestLog.ReadRecord(&r));
  EXPECT_EQ(r.moreRecords, 0xAB);  // untouched
}

TEST_F(TestLogTest, EachLineBecomesOneRecordStampedNow) {
  StartTestLog("1,4,0\n10,8,0\n");
  ASSERT_TRUE(gTestLog.IsActive());
  LogReadRecord r{};
  ASSERT_TRUE(gTestLog.ReadRecord(&r));
  EXPECT_EQ(+r.firstRecordTime, 0u);
  EXPECT_EQ(+r.position, 0);
  EXPECT_EQ(r.dataLength, 16);
  EXPECT_EQ(r.moreRecords, 1);
  EXPECT_EQ(r.data[0], 1);
  EXPECT_EQ(r.data[1], 16);
  uint8_t now[6];
  LocalTimeToBcd(gFixedNow, now);
  EXPECT_EQ(std::memcmp(r.data + 2, now, 6), 0);
  EXPECT_EQ(r.data[2], 0x04);  // 2004-03-15 10:21:00
  EXPECT_EQ(r.data[3], 0x03);
  EXPECT_EQ(r.data[4], 0x15);
  EXPECT_EQ(r.data[5], 0x10);
  EXPECT_EQ(r.data[6], 0x21);
  EXPECT_EQ(WordAt(r, 8), 4u);
  ASSERT_TRUE(gTestLog.ReadRecord(&r));
  EXPECT_EQ(+r.position, 1);
  EXPECT_EQ(r.data[0], 0x10);
  EXPECT_EQ(WordAt(r, 8), 8u);
  EXPECT_FALSE(gTestLog.ReadRecord(&r));
  EXPECT_EQ(r.moreRecords, 0);
  EXPECT_FALSE(gTestLog.ReadRecord(&r));
  EXPECT_TRUE(gTestLog.IsActive());  // exhausted, still the source of the log
}

struct LineCase {
  const char* name;
  const char* contents;
  int records;
  uint8_t type;
  uint32_t first;
  uint32_t second;
};

TEST_F(TestLogTest, LinesAreReadExactlyAsTheScanFormatReadsThem) {
  const LineCase cases[] = {
      {"POST error with second word", "8,1000000,10\n", 1, 8, 0x01000000, 0x10},
      {"two numbers", "1,4\n", 1, 1, 4, 0},
      {"header line", "type,word1,word2\n1,4,0\n", 0, 0, 0, 0},
      {"one number", "1\n2,3,4\n", 0, 0, 0, 0},
      {"space before the comma", "1 ,4,0\n", 0, 0, 0, 0},
      {"leading blank lines and spaces", "\n\n  1,  4,\t5\n", 1, 1, 4, 5},
      {"upper case and 0x", "0xA,0X1F,ff\n", 1, 0x0A, 0x1F, 0xFF},
      {"type above a byte", "1ff,1,2\n", 1, 0xFF, 1, 2},
      // A word beyond 32 bits is all ones on every platform.
      {"words above 32 bits", "1,123456789a,fffffffff\n", 1, 1, 0xFFFFFFFF, 0xFFFFFFFF},
      {"word of 32 bits", "1,ffffffff,0\n", 1, 1, 0xFFFFFFFF, 0},
      {"empty", "", 0, 0, 0, 0},
      {"no line end", "3,2,1", 1, 3, 2, 1},
  };
  for (const LineCase& c : cases) {
    StartTestLog(c.contents);
    LogReadRecord r{};
    int produced = 0;
    LogReadRecord first{};
    while (gTestLog.ReadRecord(&r) && produced < 10) {
      if (produced++ == 0) first = r;
    }
    EXPECT_EQ(produced, c.records) << c.name;
    if (produced == 0) continue;
    EXPECT_EQ(first.data[0], c.type) << c.name;
    EXPECT_EQ(WordAt(first, 8), c.first) << c.name;
    EXPECT_EQ(WordAt(first, 12), c.second) << c.name;
  }
}

TEST_F(TestLogTest, ReplayThroughThePollReportsEachLineOnceAndSavesNothing) {
  StartTestLog("1,4,0\n10,8,0\n");
  StartReader();
  gEventLogReader.storedFirstRecordTime = 0x5EED0001;  // left by an earlier real run
  EXPECT_TRUE(PollEventLog().newRecordSinceStart);
  EXPECT_EQ(EventLines().size(), 2u);
  EXPECT_EQ(AppendCount(), 2);
  EXPECT_EQ(+Entry(0).seen1, 0u);
  EXPECT_EQ(+Entry(1).seen1, 0u);
  // The replay ends on a failed exchange: no position saved, no utilization judged.
  EXPECT_EQ(gEventLogReader.logUtilization, 0);
  EXPECT_EQ(device_.alertCommands_, 0);
  PollEventLog();
  EXPECT_EQ(EventLines().size(), 2u);
  EXPECT_EQ(device_.logExchanges_, 0);
}

TEST_F(TestLogTest, ABadLineIsNamedWithItsNumberAndReason) {
  const struct {
    const char* contents;
    const char* message;  // null: the file just ended
  } cases[] = {
      {"1,4,0\n\n  zz,1,2\n1,4,0\n", "line 3: the record type is not a hexadecimal number"},
      {"1,4,0\n2 ,4,0\n", "line 2: no comma right after the record type"},
      {"1,\n4,0\n3,x\n", "line 3: the first data word is not a hexadecimal number"},
      {"1,4,0\n\n\n", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    ForgetMessages();
    StartTestLog(c.contents);
    LogReadRecord r{};
    while (gTestLog.ReadRecord(&r)) {
    }
    const std::vector<std::string> lines = MessageLines();
    if (c.message == nullptr) {
      EXPECT_TRUE(lines.empty()) << c.contents;
    } else {
      ASSERT_EQ(lines.size(), 1u) << c.contents;
      EXPECT_NE(lines[0].find(c.message), std::string::npos) << lines[0];
    }
  }
}

// More lines than one poll's exchanges: every line is reported once, across polls, and the
// real log's position and identity stay as the last real run saved them.
TEST_F(TestLogTest, ALongReplayReportsEveryLineOnceAndLeavesThePositionAlone) {
  constexpr int kLines = 5000;
  std::string contents;
  for (int i = 0; i < kLines; ++i) contents += "1,4,0\n";
  StartTestLog(contents);
  RegKey key;
  ASSERT_EQ(key.Open(kParametersBasePath, kEventLogParameterSubkey), 0);
  ASSERT_EQ(key.WriteDword(kLogOffsetValue, 96), 0);
  ASSERT_EQ(key.WriteDword(kLogFirstTimeValue, 0x5EED0001), 0);
  key.Close();
  StartReader();
  for (int poll = 0; poll < 3; ++poll) PollEventLog();
  EXPECT_EQ(EventLines().size(), std::size_t{kLines});
  EXPECT_EQ(gEventLogReader.storedPosition, 96);
  EXPECT_EQ(gEventLogReader.storedFirstRecordTime, 0x5EED0001u);
  gEventLogReader.storedPosition = 0;
  gEventLogReader.storedFirstRecordTime = 0;
  ASSERT_EQ(LoadLogPosition(), 0);
  EXPECT_EQ(gEventLogReader.storedPosition, 96);
  EXPECT_EQ(gEventLogReader.storedFirstRecordTime, 0x5EED0001u);
}

TEST_F(TestLogTest, ReplayedOverTemperatureWarnsAndIsSeenByThePoll) {
  StartTestLog("10,12,0\n");
  StartReader();
  const LogPollResult poll = PollEventLog();
  EXPECT_TRUE(poll.recentOverTemperature);
  EXPECT_TRUE(poll.newRecordSinceStart);
  ASSERT_EQ(MessageLines().size(), 1u);
  EXPECT_NE(MessageLines()[0].find("test_log.csv work, system will shutdown"), std::string::npos);
  // The parameter is off in this block: no power-off.
  CheckShutdownTrigger(poll);
  EXPECT_TRUE(PowerOffLines().empty());
}

// Records a replaying source serves, one per exchange, stamped at any time (the test log
// stamps every line now).
std::deque<LogRecordBytes> gReplayed;

int ServeReplayed(LogReadRecord* record) {
  if (gReplayed.empty()) return -1;
  const LogRecordBytes& r = gReplayed.front();
  record->moreRecords = 1;
  record->dataLength = uint8_t(r.size());
  std::memcpy(record->data, r.data(), r.size());
  gReplayed.pop_front();
  return 0;
}

LogRecordBytes OverTemperatureAt(std::time_t when) {
  uint8_t bcd[6];
  LocalTimeToBcd(when, bcd);
  return MakeRecord(16, 0x12, 0, bcd);
}

TEST_F(TestLogTest, TheReplayWarnsOfTheShutdownForARecentOverTemperatureOnly) {
  StartReader();
  UseLogRecordSource({ServeReplayed, true});
  gReplayed = {OverTemperatureAt(gFixedNow)};
  EXPECT_TRUE(PollEventLog().recentOverTemperature);
  const auto lines = MessageLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("test_log.csv work, system will shutdown"), std::string::npos);
  EXPECT_NE(lines[0].find("Shutdown"), std::string::npos);
  // An old one shows nothing.
  gReplayed = {OverTemperatureAt(gFixedNow - 3600)};
  EXPECT_FALSE(PollEventLog().recentOverTemperature);
  EXPECT_EQ(MessageLines().size(), 1u);
}

}  // namespace
}  // namespace vigil::test
