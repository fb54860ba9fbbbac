#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "contract/registry_paths.h"
#include "agent/eventlog/event_log_reader.h"
#include "agent/eventlog/history_ring.h"
#include "contract/driver_protocol.h"
#include "eventlog_fixture.h"
#include "os/os.h"

namespace vigil::test {
namespace {

std::string PositionKey() { return std::string(kParametersBasePath) + kEventLogParameterSubkey; }

std::optional<uint32_t> StoredDword(const char* name) {
  os::RegHandle key = nullptr;
  if (os::RegOpenKey(PositionKey().c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return std::nullopt;
  uint32_t value = 0;
  uint32_t size = sizeof value;
  const long rc = os::RegQueryValue(key, name, nullptr, &value, &size);
  os::RegCloseKey(key);
  if (rc != os::kErrorSuccess) return std::nullopt;
  return value;
}

void StoreDword(const char* name, uint32_t value) {
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegCreateKey(PositionKey().c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
  os::RegSetValue(key, name, os::kRegDword, &value, sizeof value);
  os::RegCloseKey(key);
}

class ReaderTest : public EventLogTest {
 protected:
  // A log of `n` records (16 bytes each, four to a response); record i is a POST error
  // whose code is i % 3, so the texts differ.
  void FillLog(int n) {
    for (int i = 0; i < n; ++i) device_.Append(MakeRecord(8, 1u << (i % 3 + 1)));
  }
  // A new process of the agent: reader state gone, ring reset, position loaded.
  void Restart() {
    gEventLogReader = EventLogReaderState{};
    ResetHistoryRing();
    StartReader();
  }

  FakeLogDevice device_;
};

struct SetUpCase {
  const char* name;
  uint8_t method;
  uint32_t address;
  uint16_t areaLength;
  uint16_t dataStart;
  uint32_t structureLength;
  uint16_t size;  // expected log data size (starting from 7)
};

TEST_F(ReaderTest, SetUpTakesTheLogGeometryFromTheStructure) {
  const SetUpCase cases[] = {
      {"method 3", 3, 0xFFF00000, 4096, 16, 23, 4080},
      {"method 3, area = start + 16", 3, 0xFFF00000, 32, 16, 23, 7},
      {"method 3, area = start + 17", 3, 0xFFF00000, 33, 16, 23, 17},
      {"method 3 without address", 3, 0, 4096, 16, 23, 7},
      {"method 4", 4, 0, 4096, 16, 23, 4096},
      {"method 0", 0, 0xFFF00000, 4096, 16, 23, 7},
      {"method 1", 1, 0xFFF00000, 4096, 16, 23, 7},
      {"method 3 address cut off", 3, 0xFFF00000, 4096, 16, 17, 7},
      {"method 4 cut before the method", 4, 0, 4096, 16, 10, 7},
      {"method 3, start past the area", 3, 1, 16, 0xFFFF, 23, 7},
  };
  for (const SetUpCase& c : cases) {
    uint8_t structure[23] = {15, 23};
    structure[4] = uint8_t(c.areaLength);
    structure[5] = uint8_t(c.areaLength >> 8);
    structure[8] = uint8_t(c.dataStart);
    structure[9] = uint8_t(c.dataStart >> 8);
    structure[10] = c.method;
    std::memcpy(structure + 16, &c.address, 4);
    gEventLogReader.logDataSize = 7;
    gEventLogReader.recordsSeen = 5;
    EXPECT_EQ(SetUpEventLog(structure, c.structureLength), c.size == 7 ? -1 : 0) << c.name;
    EXPECT_EQ(gEventLogReader.logDataSize, c.size) << c.name;
    EXPECT_EQ(gEventLogReader.recordsSeen, 0) << c.name;
  }
  EXPECT_EQ(SetUpEventLog(nullptr, 0), -1);
}

TEST_F(ReaderTest, SetUpLoadsTheStoredPositionLow16Bits) {
  StoreDword(kLogOffsetValue, 0x12340100);
  StoreDword(kLogFirstTimeValue, 0xCAFE);
  StartReader();
  EXPECT_EQ(gEventLogReader.storedPosition, 0x0100);
  EXPECT_EQ(gEventLogReader.storedFirstRecordTime, 0xCAFEu);
}

TEST_F(ReaderTest, NoLogMeansNoExchange) {
  FillLog(3);
  PollEventLog();
  EXPECT_EQ(device_.logExchanges_, 0);
  EXPECT_FALSE(StoredDword(kLogOffsetValue).has_value());
}

TEST_F(ReaderTest, FirstRunReportsEveryRecordOnceAndSavesThePosition) {
  FillLog(10);
  StartReader();
  const LogPollResult first = PollEventLog();
  EXPECT_EQ(device_.logExchanges_, 3);  // 4 + 4 + 2 records
  EXPECT_EQ(EventLines().size(), 10u);
  EXPECT_EQ(AppendCount(), 10);
  EXPECT_EQ(NextSlot(), 10);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(+Entry(i).seen1, 0u);
    EXPECT_EQ(+Entry(i).seen2, 0u);
  }
  EXPECT_TRUE(first.newRecordSinceStart);
  EXPECT_FALSE(first.recentOverTemperature);
  EXPECT_EQ(StoredDword(kLogOffsetValue), 160u);
  EXPECT_EQ(StoredDword(kLogFirstTimeValue), device_.firstRecordTime_);
  EXPECT_EQ(gEventLogReader.logUtilization, 3);  // 160 of 4096 bytes: 3.9 %, kept whole
  // Continuations carry the position after the last record handled.
  ASSERT_EQ(device_.requestedPositions_.size(), 3u);
  EXPECT_EQ(device_.requestedPositions_[1], 64);
  EXPECT_EQ(device_.requestedPositions_[2], 128);

  // The next poll asks from the stored position and finds nothing new.
  PollEventLog();
  EXPECT_EQ(device_.requestedPositions_.back(), 160);
  EXPECT_EQ(EventLines().size(), 10u);
  EXPECT_EQ(AppendCount(), 10);
}

TEST_F(ReaderTest, EventTypeIsInformationForSensorType16) {
  device_.Append(MakeRecord(16, 7));  // sensor type 0x10
  device_.Append(MakeRecord(16, 5));  // temperature
  StartReader();
  PollEventLog();
  const auto lines = EventLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("information"), std::string::npos);
  EXPECT_NE(lines[0].find("Log area reset"), std::string::npos);
  EXPECT_NE(lines[1].find("warning"), std::string::npos);
}

TEST_F(ReaderTest, RestartRefillsTheRingWithoutReportingAgain) {
  FillLog(6);
  StartReader();
  PollEventLog();
  ASSERT_EQ(EventLines().size(), 6u);

  Restart();
  EXPECT_FALSE(PollEventLog().newRecordSinceStart);
  EXPECT_EQ(EventLines().size(), 6u);
  EXPECT_EQ(NextSlot(), 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(+Entry(i).seen1, 1u) << i;
    EXPECT_EQ(+Entry(i).seen2, 1u) << i;
  }
  // A record written while the agent was down is new after the restart.
  device_.Append(MakeRecord(16, 5));
  Restart();
  PollEventLog();
  EXPECT_EQ(EventLines().size(), 7u);
  EXPECT_EQ(+Entry(6).seen1, 0u);
  EXPECT_EQ(+Entry(5).seen1, 1u);
}

TEST_F(ReaderTest, RecordExactlyAtTheStoredPositionIsNew) {
  FillLog(2);
  StoreDword(kLogOffsetValue, 16);
  StoreDword(kLogFirstTimeValue, device_.firstRecordTime_);
  StartReader();
  PollEventLog();
  EXPECT_EQ(+Entry(0).seen1, 1u);
  EXPECT_EQ(+Entry(1).seen1, 0u);
  EXPECT_EQ(EventLines().size(), 1u);
}

TEST_F(ReaderTest, AppendedRecordIsReportedOnce) {
  FillLog(3);
  StartReader();
  PollEventLog();
  device_.Append(MakeRecord(16, 5));
  PollEventLog();
  PollEventLog();
  EXPECT_EQ(EventLines().size(), 4u);
  EXPECT_EQ(AppendCount(), 4);
  EXPECT_EQ(StoredDword(kLogOffsetValue), 64u);
}

TEST_F(ReaderTest, ClearedLogRewindsTheRingIndexButNotTheCount) {
  FillLog(5);
  StartReader();
  PollEventLog();
  device_.Clear(0x5EED0002);
  FillLog(2);
  PollEventLog();
  EXPECT_EQ(EventLines().size(), 7u);
  EXPECT_EQ(NextSlot(), 2);
  EXPECT_EQ(AppendCount(), 7);
  EXPECT_EQ(StoredDword(kLogFirstTimeValue), 0x5EED0002u);
  EXPECT_EQ(StoredDword(kLogOffsetValue), 32u);
}

TEST_F(ReaderTest, ALogClearedAndRefilledBetweenPollsIsReadFromItsStart) {
  FillLog(5);
  StartReader();
  PollEventLog();
  // Cleared and given three records before the next poll: asked from 80, the new log has
  // nothing there, but its three records were never reported.
  device_.Clear(0x5EED0003);
  FillLog(3);
  PollEventLog();
  EXPECT_EQ(EventLines().size(), 8u);
  EXPECT_EQ(NextSlot(), 3);
  EXPECT_EQ(device_.requestedPositions_.back(), 0);
  EXPECT_EQ(gEventLogReader.storedPosition, 48);
  // Also when the new log reaches past the old position: none of its records is known.
  device_.Clear(0x5EED0004);
  FillLog(6);
  PollEventLog();
  EXPECT_EQ(EventLines().size(), 14u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(+Entry(i).seen1, 0u) << i;
}

TEST_F(ReaderTest, AnEmptyLogSavesTheResponsePositionAndComputesUtilization) {
  StartReader();
  PollEventLog();
  EXPECT_EQ(StoredDword(kLogOffsetValue), 0u);
  EXPECT_EQ(StoredDword(kLogFirstTimeValue), device_.firstRecordTime_);
  EXPECT_EQ(gEventLogReader.logUtilization, 0);
}

TEST_F(ReaderTest, UtilizationOf1000In4096Is24) {
  StartReader(4096);
  LogReadRecord response{};
  response.firstRecordTime = 0;
  response.position = 1000;
  device_.scripted_.push_back(response);
  PollEventLog();
  EXPECT_EQ(gEventLogReader.storedPosition, 1000);
  EXPECT_EQ(gEventLogReader.logUtilization, 24);
}

TEST_F(ReaderTest, AFailingFirstExchangeSavesNothing) {
  FillLog(2);
  StartReader();
  device_.failCount_ = 1;
  PollEventLog();
  EXPECT_EQ(AppendCount(), 0);
  EXPECT_FALSE(StoredDword(kLogOffsetValue).has_value());
}

TEST_F(ReaderTest, AFailingContinuationReadsTheSameRecordsAgainNextPoll) {
  FillLog(10);
  StartReader();
  PollEventLog();
  ASSERT_EQ(EventLines().size(), 10u);
  FillLog(6);  // records 10-15 at 160..255
  device_.passBeforeFailure_ = 1;
  device_.failCount_ = 1;
  PollEventLog();
  EXPECT_EQ(EventLines().size(), 14u);  // the first response's four
  EXPECT_EQ(gEventLogReader.storedPosition, 160);
  EXPECT_EQ(StoredDword(kLogOffsetValue), 160u);
  PollEventLog();
  // Reported again, as the failure path means to: nothing is lost.
  EXPECT_EQ(EventLines().size(), 20u);
  EXPECT_EQ(StoredDword(kLogOffsetValue), 256u);
}

struct MalformedCase {
  const char* name;
  FakeLogDevice::Malformed kind;
};

TEST_F(ReaderTest, ABadRecordEndsTheWalkAndThePollKeepsItsPlaceBeforeIt) {
  const MalformedCase cases[] = {
      {"zero length", FakeLogDevice::Malformed::kZeroLength},
      {"overrun", FakeLogDevice::Malformed::kOverrun},
  };
  for (const MalformedCase& c : cases) {
    SCOPED_TRACE(c.name);
    device_.Clear(device_.firstRecordTime_ + 1);
    gEventLogReader.malformedRecords = 0;
    FillLog(2);
    StartReader();
    const std::size_t before = EventLines().size();
    device_.malformedNext_ = c.kind;
    PollEventLog();
    EXPECT_EQ(gEventLogReader.malformedRecords, 1u);
    EXPECT_EQ(EventLines().size(), before + 2);
    EXPECT_EQ(gEventLogReader.storedPosition, 32);
    // The driver answers properly again: the poll goes on from the bad record's place.
    FillLog(1);
    PollEventLog();
    EXPECT_EQ(EventLines().size(), before + 3);
    EXPECT_EQ(gEventLogReader.storedPosition, 48);
  }
}

TEST_F(ReaderTest, AnUntrustedDataLengthNeverWalksPastTheDataArea) {
  StartReader();
  LogReadRecord response{};
  response.firstRecordTime = device_.firstRecordTime_;
  response.dataLength = 255;
  // Four whole records fill the 68 bytes; the claimed rest does not exist.
  for (int i = 0; i < 4; ++i) {
    response.data[i * 17] = 16;
    response.data[i * 17 + 1] = 17;
  }
  device_.scripted_.push_back(response);
  PollEventLog();
  EXPECT_EQ(AppendCount(), 4);
  EXPECT_EQ(gEventLogReader.storedPosition, 68);
  EXPECT_EQ(gEventLogReader.malformedRecords, 0u);

  // A record header cut off by the end of the data.
  response.dataLength = 1;
  response.moreRecords = 1;
  device_.scripted_.push_back(response);
  PollEventLog();
  EXPECT_EQ(gEventLogReader.malformedRecords, 1u);
}

TEST_F(ReaderTest, EndlessMoreRecordsIsCutAtTheExchangeLimit) {
  StartReader();
  LogReadRecord response{};
  response.firstRecordTime = device_.firstRecordTime_;
  response.dataLength = 2;
  response.moreRecords = 1;
  response.data[0] = 0x7F;
  response.data[1] = 2;
  for (int i = 0; i < kMaxExchangesPerPoll + 10; ++i) device_.scripted_.push_back(response);
  PollEventLog();
  EXPECT_EQ(device_.logExchanges_, kMaxExchangesPerPoll);
  EXPECT_EQ(gEventLogReader.exchangeLimitPolls, 1u);
  // Not a completed poll: nothing saved, no utilization; the next poll carries on from the
  // position after the last record handled.
  EXPECT_EQ(StoredDword(kLogOffsetValue), std::nullopt);
  EXPECT_EQ(StoredDword(kLogFirstTimeValue), std::nullopt);
  EXPECT_EQ(gEventLogReader.logUtilization, 0);
  device_.scripted_.clear();
  device_.requestedPositions_.clear();
  PollEventLog();
  ASSERT_FALSE(device_.requestedPositions_.empty());
  EXPECT_EQ(device_.requestedPositions_[0], 2);
}

TEST_F(ReaderTest, ARegistryThatRefusesWritesDoesNotStopThePoll) {
  FillLog(3);
  StartReader();
  os::memory::BreakRegistry();
  ASSERT_NE(SaveLogPosition(), 0);
  PollEventLog();
  EXPECT_EQ(EventLines().size(), 3u);
  EXPECT_EQ(gEventLogReader.storedPosition, 48);
  device_.Append(MakeRecord(16, 5));
  PollEventLog();
  EXPECT_EQ(EventLines().size(), 4u);
  EXPECT_EQ(gEventLogReader.storedPosition, 64);
}

}  // namespace
}  // namespace vigil::test
