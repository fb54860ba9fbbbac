// LogReadRecord answers: boundaries, mid-record positions, continuation, end, identity, faults.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "contract/driver_protocol.h"
#include "core/event_log.h"
#include "core_fixture.h"

namespace {

using vigil::LogReadRecord;

// A record of `length` bytes whose type byte is `tag`, so answers show which records came.
std::vector<uint8_t> Record(uint8_t tag, uint8_t length) {
  std::vector<uint8_t> r(length, 0);
  r[0] = tag;
  r[1] = length;
  return r;
}

// Log of records 16, 12, 30, 20, 8, 40 bytes long: positions 0, 16, 28, 58, 78, 86; end 126.
std::unique_ptr<hwsim::Core> SampleLog() {
  auto core = simtest::NewCore();
  hwsim::ClearLog(*core, 0x65A1B2C3);
  const uint8_t lengths[] = {16, 12, 30, 20, 8, 40};
  for (uint8_t i = 0; i < 6; ++i) {
    std::vector<uint8_t> r = Record(i + 1, lengths[i]);
    EXPECT_EQ(hwsim::AppendLogRecord(*core, r.data(), lengths[i]), hwsim::AppendResult::kOk);
  }
  return core;
}

// A request for the log as it stands, unless `time` names another log.
LogReadRecord Exchange(hwsim::Core& core, uint16_t position, uint8_t room = 68,
                       std::optional<uint32_t> time = std::nullopt) {
  uint8_t buffer[sizeof(LogReadRecord)] = {};
  LogReadRecord request = {time.value_or(core.firstRecordTime), position, room, 0, {}};
  std::memcpy(buffer, &request, 8);
  uint32_t returned = 0;
  EXPECT_TRUE(hwsim::Serve(core, vigil::kIoctlReadEventLog, buffer, 8, sizeof buffer, &returned));
  EXPECT_EQ(returned, sizeof(LogReadRecord));
  LogReadRecord answer;
  std::memcpy(&answer, buffer, sizeof answer);
  return answer;
}

std::vector<uint8_t> Tags(const LogReadRecord& answer) {
  std::vector<uint8_t> tags;
  for (unsigned at = 0; at < answer.dataLength; at += answer.data[at + 1] & 0x7F) tags.push_back(answer.data[at]);
  return tags;
}

struct ReadCase {
  uint16_t position;
  uint8_t room;
  uint16_t answerPosition;
  std::vector<uint8_t> tags;
  uint8_t dataLength;
  bool more;
};

TEST(LogRead, AnswersWholeRecordsFromTheNextBoundary) {
  const ReadCase cases[] = {
      {0, 68, 0, {1, 2, 3}, 58, true},       // 16 + 12 + 30; the fourth (20) would not fit
      {16, 68, 16, {2, 3, 4}, 62, true},
      {58, 68, 58, {4, 5, 6}, 68, false},    // exactly 68 bytes to the end
      {1, 68, 16, {2, 3, 4}, 62, true},      // inside record 1: from record 2
      {57, 68, 58, {4, 5, 6}, 68, false},    // last byte of record 3
      {86, 68, 86, {6}, 40, false},
      {126, 68, 126, {}, 0, false},          // the end
      {4000, 68, 126, {}, 0, false},         // far past the end
      {0, 20, 0, {1}, 16, true},             // a smaller room than 68
      {0, 200, 0, {1, 2, 3}, 58, true},      // never more than 68
      {86, 39, 86, {}, 0, true},             // a record larger than the room: nothing fits
  };
  auto core = SampleLog();
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "position " << c.position << " room " << int(c.room));
    LogReadRecord answer = Exchange(*core, c.position, c.room);
    EXPECT_EQ(answer.firstRecordTime, 0x65A1B2C3u);
    EXPECT_EQ(answer.position, c.answerPosition);
    EXPECT_EQ(answer.dataLength, c.dataLength);
    EXPECT_EQ(answer.moreRecords != 0, c.more);
    EXPECT_EQ(Tags(answer), c.tags);
  }
}

TEST(LogRead, ContinuationWalksTheWholeLogOnce) {
  auto core = SampleLog();
  std::vector<uint8_t> seen;
  LogReadRecord answer = Exchange(*core, 0);
  int exchanges = 1;
  while (true) {
    std::vector<uint8_t> tags = Tags(answer);
    seen.insert(seen.end(), tags.begin(), tags.end());
    if (answer.moreRecords == 0 || answer.dataLength == 0) break;
    answer = Exchange(*core, static_cast<uint16_t>(answer.position + answer.dataLength));
    ASSERT_LT(++exchanges, 10);
  }
  EXPECT_EQ(seen, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(core->stats.logExchanges, 2u);
}

TEST(LogRead, ClearedLogAnswersEmptyUnderItsNewIdentity) {
  auto core = SampleLog();
  hwsim::ClearLog(*core, 0x65A1B2C4);
  LogReadRecord answer = Exchange(*core, 58, 68, 0x65A1B2C3);
  EXPECT_EQ(answer.firstRecordTime, 0x65A1B2C4u);
  EXPECT_EQ(answer.position, 0);
  EXPECT_EQ(answer.dataLength, 0);
  EXPECT_EQ(answer.moreRecords, 0);
  std::vector<uint8_t> r = Record(9, 8);
  ASSERT_EQ(hwsim::AppendLogRecord(*core, r.data(), 8), hwsim::AppendResult::kOk);
  EXPECT_EQ(Tags(Exchange(*core, 0)), std::vector<uint8_t>{9});
}

TEST(LogRead, ARequestForTheOldLogIsAnsweredFromTheNewLogsStart) {
  // Cleared and written again before the requester asks from its old position: it must see
  // the new records, which lie before that position.
  auto core = SampleLog();
  hwsim::ClearLog(*core, 0x65A1B2C4);
  for (uint8_t tag : {7, 8}) {
    std::vector<uint8_t> r = Record(tag, 12);
    ASSERT_EQ(hwsim::AppendLogRecord(*core, r.data(), 12), hwsim::AppendResult::kOk);
  }
  LogReadRecord answer = Exchange(*core, 16, 68, 0x65A1B2C3);
  EXPECT_EQ(answer.position, 0);
  EXPECT_EQ(Tags(answer), (std::vector<uint8_t>{7, 8}));
  EXPECT_EQ(Exchange(*core, 12).position, 12);  // under the new identity the position holds
}

TEST(LogRead, AppendChecksLengthAndRoom) {
  auto core = simtest::NewCore();
  core->logCapacity = 24;
  std::vector<uint8_t> r16 = Record(1, 16), r12 = Record(2, 12);
  std::vector<uint8_t> liar = Record(3, 12);
  liar[1] = 0x80 | 11;  // bit 7 is not length, but 11 is not 12 either
  std::vector<uint8_t> flagged = Record(4, 8);
  flagged[1] = 0x80 | 8;
  EXPECT_EQ(hwsim::AppendLogRecord(*core, r16.data(), 1), hwsim::AppendResult::kBadLength);
  // One byte more than an exchange carries: no read could ever deliver it.
  std::vector<uint8_t> r69 = Record(5, 69);
  EXPECT_EQ(hwsim::AppendLogRecord(*core, r69.data(), 69), hwsim::AppendResult::kBadLength);
  EXPECT_EQ(hwsim::AppendLogRecord(*core, liar.data(), 12), hwsim::AppendResult::kLengthMismatch);
  EXPECT_EQ(hwsim::AppendLogRecord(*core, r16.data(), 16), hwsim::AppendResult::kOk);
  EXPECT_EQ(hwsim::AppendLogRecord(*core, r12.data(), 12), hwsim::AppendResult::kFull);
  EXPECT_EQ(hwsim::AppendLogRecord(*core, flagged.data(), 8), hwsim::AppendResult::kOk);
  EXPECT_EQ(hwsim::CountLogRecords(*core), 2u);
}

TEST(LogRead, MalformedRecordSpoilsOneAnswerOnly) {
  struct Case {
    hwsim::Malformed kind;
    uint8_t expectedLength;
  };
  for (Case c : {Case{hwsim::Malformed::kZeroLength, 0}, Case{hwsim::Malformed::kOverrun, 127}}) {
    auto core = SampleLog();
    hwsim::SetMalformed(*core, c.kind);
    LogReadRecord bad = Exchange(*core, 0);
    EXPECT_EQ(bad.data[1] & 0x7F, c.expectedLength);
    EXPECT_NE(bad.dataLength, 0);
    LogReadRecord good = Exchange(*core, 0);
    EXPECT_EQ(good.data[1], 16);
    EXPECT_EQ(core->log[1], 16);  // the stored log is untouched
  }
}

TEST(LogRead, MalformedAtTheEndStillCarriesABadRecord) {
  auto core = SampleLog();
  hwsim::SetMalformed(*core, hwsim::Malformed::kZeroLength);
  LogReadRecord answer = Exchange(*core, 126);
  EXPECT_EQ(answer.dataLength, 8);
  EXPECT_EQ(answer.data[1] & 0x7F, 0);
}

}  // namespace
