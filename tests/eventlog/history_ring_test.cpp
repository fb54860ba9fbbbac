#include <cstdio>
#include <cstring>

#include "agent/eventlog/history_ring.h"
#include "eventlog_fixture.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"

namespace vigil::test {
namespace {

class HistoryRingTest : public EventLogTest {
 protected:
  static HistoryEntry Event(const char* text, int32_t time = 1000) {
    HistoryEntry e;
    std::memset(&e, 0x77, sizeof e);  // bytes after the text's NUL must not leak
    e.seen1 = 0;
    e.seen2 = 1;
    e.recordType = 2;
    e.time = time;
    e.generatorIdLow = 33;
    e.generatorIdHigh = 0;
    e.evmRev = 3;
    e.sensorType = 0x12;
    e.sensorNumber = 255;
    e.eventReadingType = 0x6F;
    e.eventData1 = 1;
    e.eventData2 = 2;
    e.eventData3 = 3;
    e.pet3 = 0x22;
    e.pet4 = 4;
    std::snprintf(e.text, sizeof e.text, "%s", text);
    return e;
  }
};

TEST_F(HistoryRingTest, AppendWritesEveryFieldAndZeroesTheRestOfTheSlot) {
  std::memset(block_.data() + block::RingEntryOffset(0), 0xAA, block::kRingEntrySize);
  EXPECT_EQ(AppendHistoryEntry(Event("0123456789", 1234567)), 0u);
  const HistoryEntry e = Entry(0);
  EXPECT_EQ(e.recordType, 2);
  EXPECT_EQ(+e.time, 1234567);
  EXPECT_EQ(e.generatorIdLow, 33);
  EXPECT_EQ(e.evmRev, 3);
  EXPECT_EQ(e.sensorType, 0x12);
  EXPECT_EQ(e.sensorNumber, 255);
  EXPECT_EQ(e.eventReadingType, 0x6F);
  EXPECT_EQ(e.eventData1, 1);
  EXPECT_EQ(e.eventData2, 2);
  EXPECT_EQ(e.eventData3, 3);
  EXPECT_EQ(+e.seen1, 0u);
  EXPECT_EQ(+e.seen2, 1u);
  EXPECT_STREQ(e.text, "0123456789");
  EXPECT_EQ(e.pet3, 0x22);
  EXPECT_EQ(e.pet4, 4);
  const uint8_t* raw = block_.data() + block::RingEntryOffset(0);
  for (std::size_t i = 33; i <= 221; ++i) ASSERT_EQ(raw[i], 0) << i;
  EXPECT_EQ(NextSlot(), 1);
  EXPECT_EQ(AppendCount(), 1);
}

TEST_F(HistoryRingTest, TextWithoutNulIsCutInsideTheField) {
  HistoryEntry e = Event("");
  std::memset(e.text, 'T', sizeof e.text);
  AppendHistoryEntry(e);
  const HistoryEntry stored = Entry(0);
  EXPECT_EQ(strnlen(stored.text, sizeof stored.text), kEventTextSize - 1);
  EXPECT_EQ(stored.pet3, 0x22);
}

TEST_F(HistoryRingTest, The600thAppendLeavesIndex600AndThe601stWritesSlot0) {
  for (int i = 0; i < 600; ++i) {
    char text[16];
    std::snprintf(text, sizeof text, "event %d", i);
    AppendHistoryEntry(Event(text));
  }
  EXPECT_EQ(NextSlot(), 600);
  EXPECT_STREQ(Entry(599).text, "event 599");
  EXPECT_EQ(AppendHistoryEntry(Event("event 600")), 0u);
  EXPECT_EQ(NextSlot(), 1);
  EXPECT_EQ(AppendCount(), 601);
  EXPECT_STREQ(Entry(0).text, "event 600");
  EXPECT_STREQ(Entry(1).text, "event 1");
}

TEST_F(HistoryRingTest, AppendCountWrapsAt65536) {
  for (int i = 0; i < 65536; ++i) AppendHistoryEntry(Event("e"));
  EXPECT_EQ(AppendCount(), 0);
  EXPECT_EQ(NextSlot(), 65536 % 600);
}

TEST_F(HistoryRingTest, AGarbageIndexWrittenByAnotherProcessRestartsAtSlot0) {
  for (uint16_t garbage : {uint16_t(600), uint16_t(601), uint16_t(0xFFFF)}) {
    block::StoreU16(block_.data(), block::kRingNextSlot, garbage);
    EXPECT_EQ(AppendHistoryEntry(Event("g")), 0u) << garbage;
    EXPECT_EQ(NextSlot(), 1);
  }
  // The last slot ends exactly where the ring does: nothing beyond it is touched.
  block_[block::RingEntryOffset(600)] = 0xC3;
  block::StoreU16(block_.data(), block::kRingNextSlot, 599);
  AppendHistoryEntry(Event("last"));
  EXPECT_EQ(block_[block::RingEntryOffset(600)], 0xC3);
}

TEST_F(HistoryRingTest, ResetClearsBothCountersButKeepsEntries) {
  AppendHistoryEntry(Event("kept"));
  AppendHistoryEntry(Event("kept too"));
  ResetHistoryRing();
  EXPECT_EQ(NextSlot(), 0);
  EXPECT_EQ(AppendCount(), 0);
  EXPECT_STREQ(Entry(1).text, "kept too");
  AppendHistoryEntry(Event("a"));
  AppendHistoryEntry(Event("b"));
  RewindHistoryRing();
  EXPECT_EQ(NextSlot(), 0);
  EXPECT_EQ(AppendCount(), 2);
}

}  // namespace
}  // namespace vigil::test
