// The SEL as a BIOS event log: positions, identity across clears and restarts, the cost of a
// poll, and every BMC failure ending in a clear outcome.
#include "ipmi/sel_log_source.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "ipmi/ipmi_codes.h"
#include "ipmi_builders.h"

namespace hwlinux::ipmi {
namespace {

using testing::SelEvent;
using Fault = ScriptedBmc::Fault;

constexpr uint32_t kT0 = 1700000000;

struct NoHandles : HandleLookup {
  int ProbeHandle(const std::string&, uint32_t) const override { return -1; }
  int MemoryDeviceHandle(uint32_t) const override { return -1; }
};

ScriptedBmc::SelRecord Ecc(uint32_t t) { return SelEvent(t, 0x0C, 1, 0x6F, 0x00); }        // 10 bytes
ScriptedBmc::SelRecord Boot(uint32_t t) { return SelEvent(t, 0x1D, 2, 0x6F, 0x00); }       // 8 bytes
ScriptedBmc::SelRecord Intrusion(uint32_t t) { return SelEvent(t, 0x05, 3, 0x6F, 0x00); }  // none

class SelLog : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC0", 1);
    tzset();
    bmc_.selEraseTime = kT0 - 100;
    bmc_.AddSel(Ecc(kT0), kT0);
    bmc_.AddSel(Intrusion(kT0 + 1), kT0 + 1);
    bmc_.AddSel(Boot(kT0 + 2), kT0 + 2);
  }
  int Refresh() { return source_.Refresh(handles_, &snapshot_); }
  // A BMC with the three events of SetUp, for each case of a table.
  void Reset() {
    bmc_ = ScriptedBmc{};
    SetUp();
  }

  ScriptedBmc bmc_;
  SelLogSource source_{bmc_};
  NoHandles handles_;
  LogSnapshot snapshot_;
};

TEST_F(SelLog, FirstRefreshTranslatesInSelOrderAndCountsTheRest) {
  bmc_.selFreeBytes = 16 * 61;
  ASSERT_EQ(Refresh(), 0);
  ASSERT_EQ(snapshot_.records.size(), 18u);
  EXPECT_EQ(snapshot_.records[0], 0x01);
  EXPECT_EQ(snapshot_.records[10], 0x17);
  EXPECT_EQ(snapshot_.skipped, 1u);
  EXPECT_EQ(snapshot_.areaLength, 64u * 16u);  // three entries and room for 61 more
  EXPECT_NE(snapshot_.identity, 0u);
}

TEST_F(SelLog, IdlePollIsOneSelInfoAndGrowthKeepsPositions) {
  ASSERT_EQ(Refresh(), 0);
  const LogSnapshot before = snapshot_;
  bmc_.exchanges = 0;
  ASSERT_EQ(Refresh(), 0);
  EXPECT_EQ(bmc_.exchanges, 1u);
  EXPECT_EQ(bmc_.perCommand[kCmdGetSelInfo], 2u);

  bmc_.AddSel(Boot(kT0 + 10), kT0 + 10);
  bmc_.exchanges = 0;
  ASSERT_EQ(Refresh(), 0);
  EXPECT_EQ(snapshot_.identity, before.identity);
  ASSERT_EQ(snapshot_.records.size(), before.records.size() + 8);
  EXPECT_TRUE(std::equal(before.records.begin(), before.records.end(), snapshot_.records.begin()));
  // Info, first and last known record again, the new one.
  EXPECT_EQ(bmc_.exchanges, 4u);
}

TEST_F(SelLog, ARestartedSourceServesTheSameLog) {
  ASSERT_EQ(Refresh(), 0);
  SelLogSource again(bmc_);
  LogSnapshot fresh;
  ASSERT_EQ(again.Refresh(handles_, &fresh), 0);
  EXPECT_EQ(fresh.identity, snapshot_.identity);
  EXPECT_EQ(fresh.records, snapshot_.records);
}

TEST_F(SelLog, EveryKindOfClearGivesANewIdentity) {
  struct Case {
    const char* what;
    uint32_t eraseTime;  // 0: the BMC keeps the old one
    int refill;          // boot events logged after the clear
  };
  const Case cases[] = {
      {"new erase time", kT0 + 50, 1},
      {"erase time kept, fewer entries", 0, 1},
      {"erase time kept, as many entries, new first record", 0, 3},
      {"erase time kept, log left empty", 0, 0},
  };
  for (const Case& c : cases) {
    Reset();
    bmc_.sel.clear();
    bmc_.AddSel(Ecc(kT0), kT0);
    bmc_.AddSel(Boot(kT0 + 2), kT0 + 2);
    SelLogSource source(bmc_);
    LogSnapshot snapshot;
    ASSERT_EQ(source.Refresh(handles_, &snapshot), 0);
    const uint32_t identity = snapshot.identity;
    bmc_.ClearSel(c.eraseTime);
    for (int i = 0; i < c.refill; ++i) bmc_.AddSel(Boot(kT0 + 60 + i), kT0 + 60 + i);
    ASSERT_EQ(source.Refresh(handles_, &snapshot), 0) << c.what;
    EXPECT_NE(snapshot.identity, identity) << c.what;
    EXPECT_EQ(snapshot.records.size(), 8u * c.refill) << c.what;
  }
}

TEST_F(SelLog, ADeletedLastRecordStillChangesTheIdentity) {
  // Erase time and first record stay; only the count drops (a deleted entry). New events would
  // take the deleted one's position, so the agent must start over.
  ASSERT_EQ(Refresh(), 0);
  const uint32_t identity = snapshot_.identity;
  bmc_.sel.pop_back();
  bmc_.CancelReservation();
  ASSERT_EQ(Refresh(), 0);
  EXPECT_NE(snapshot_.identity, identity);
  EXPECT_EQ(snapshot_.records.size(), 10u);
}

TEST_F(SelLog, RecordsStopWholeWhereLogPositionsEnd) {
  // 4200 POST errors of 16 bytes would end past position 65535.
  bmc_ = ScriptedBmc{};
  for (int i = 0; i < 4200; ++i) bmc_.AddSel(SelEvent(kT0 + i, 0x0F, 1, 0x6F, 0xC0, 0x07), kT0 + i);
  ASSERT_EQ(Refresh(), 0);
  EXPECT_EQ(snapshot_.records.size(), 4095u * 16u);
  EXPECT_EQ(snapshot_.skipped, 105u);
  EXPECT_EQ(snapshot_.areaLength, 0xFFFFu);
}

TEST_F(SelLog, PreInitStampsTakeThePreviousRealTime) {
  bmc_.AddSel(Boot(0x100), kT0 + 3);
  ASSERT_EQ(Refresh(), 0);
  ASSERT_EQ(snapshot_.records.size(), 26u);
  // The boot at kT0 + 2 (22:13:22) and the pre-init one after it carry the same time.
  EXPECT_TRUE(std::equal(snapshot_.records.begin() + 12, snapshot_.records.begin() + 18,
                         snapshot_.records.begin() + 20));
}

TEST_F(SelLog, BmcFailuresHaveClearOutcomes) {
  struct Case {
    const char* what;
    uint8_t cmd;
    Fault fault;
    uint8_t value;
    int skip;
    int result;
    std::size_t bytes;  // served after the refresh
  };
  const Case cases[] = {
      {"SEL info timeout", kCmdGetSelInfo, Fault::kCompletion, kCcTimeout, 0, 0, 18},  // asked again
      {"SEL info unanswered", kCmdGetSelInfo, Fault::kNoAnswer, 0, 0, -1, 0},
      {"SEL info cut short", kCmdGetSelInfo, Fault::kCut, 9, 0, -1, 0},
      {"entry too long to send", kCmdGetSelEntry, Fault::kCompletion, kCcCannotReturnBytes, 0, 0, 18},
      {"entry cut short", kCmdGetSelEntry, Fault::kCut, 12, 0, 0, 0},
      {"entry timeout half-way", kCmdGetSelEntry, Fault::kCompletion, kCcTimeout, 1, 0, 18},
      {"entry vanished half-way", kCmdGetSelEntry, Fault::kCompletion, kCcNotPresent, 1, 0, 10},
  };
  for (const Case& c : cases) {
    Reset();
    SelLogSource source(bmc_);
    LogSnapshot snapshot;
    bmc_.Inject(c.cmd, c.fault, c.value, 1, c.skip);
    EXPECT_EQ(source.Refresh(handles_, &snapshot), c.result) << c.what;
    EXPECT_EQ(snapshot.records.size(), c.bytes) << c.what;
    // The next refresh completes the log, each record once.
    ASSERT_EQ(source.Refresh(handles_, &snapshot), 0) << c.what;
    EXPECT_EQ(snapshot.records.size(), 18u) << c.what;
  }
}

TEST_F(SelLog, SmallAnswersAndLostReservationsStillReadWholeRecords) {
  bmc_.maxRecordAnswer = 2 + 4;  // next id and four bytes at a time
  // The first partial read finds its reservation gone.
  bmc_.Inject(kCmdGetSelEntry, Fault::kCompletion, kCcReservationLost, 1, 1);
  ASSERT_EQ(Refresh(), 0);
  EXPECT_EQ(snapshot_.records.size(), 18u);
  EXPECT_GT(bmc_.perCommand[kCmdReserveSel], 1u);
}

TEST_F(SelLog, ALoopingNextIdChainEnds) {
  // Two records that name each other as next.
  bmc_.sel[1][0] = 0x01;  // second record now carries the first one's id
  ASSERT_EQ(Refresh(), 0);
  EXPECT_LE(bmc_.perCommand[kCmdGetSelEntry], 3u + 16u + 1u);
}

}  // namespace
}  // namespace hwlinux::ipmi
