#include <cstring>
#include <string>

#include "agent/eventlog/event_decoder.h"
#include "agent/eventlog/record_time.h"
#include "eventlog_fixture.h"
#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"

namespace vigil::test {
namespace {

class DecoderTest : public EventLogTest {
 protected:
  // The event, and whether it is a recent CPU over-temperature event.
  bool Decode(const LogRecordBytes& record, DecodedEvent* event) {
    std::memset(event, 0x5A, sizeof *event);
    return DecodeEventRecord(record.data(), uint32_t(record.size()), event);
  }
  // The ring entry the record becomes.
  HistoryEntry Decode(const LogRecordBytes& record) {
    DecodedEvent event;
    Decode(record, &event);
    return event.entry;
  }
  bool RecentOverTemperature(const LogRecordBytes& record) {
    DecodedEvent event;
    return Decode(record, &event);
  }
  // A record stamped `secondsAgo` before the injected now, in the local time zone.
  LogRecordBytes RecordAt(uint8_t type, uint32_t firstWord, std::time_t when) {
    uint8_t bcd[6];
    LocalTimeToBcd(when, bcd);
    LogRecordBytes r = MakeRecord(type, firstWord);
    std::memcpy(&r[2], bcd, 6);
    return r;
  }
};

struct YearCase {
  uint8_t bcdYear;
  int tmYear;
  int64_t calendarTime;  // under UTC; -1 where the 32-bit field cannot hold it
};

TEST_F(DecoderTest, BcdYearsPivotAt80AndLaterYearsOutside32BitsAreMinusOne) {
  const YearCase cases[] = {
      {0x79, 179, -1},          // 2079-01-02 lies beyond 2038 in a signed 32-bit field
      {0x80, 80, 315655323},    // 1980-01-02 10:02:03
      {0x03, 103, 1041501723},  // 2003-01-02 10:02:03
      {0x37, 137, 2114503323},  // 2037-01-02 10:02:03, still representable
  };
  for (const YearCase& c : cases) {
    const uint8_t bcd[6] = {c.bcdYear, 0x01, 0x02, 0x10, 0x02, 0x03};
    std::tm local;
    BcdToLocalTime(bcd, &local);
    EXPECT_EQ(local.tm_year, c.tmYear) << std::hex << int(c.bcdYear);
    EXPECT_EQ(local.tm_mon, 0);
    EXPECT_EQ(local.tm_isdst, -1);
    EXPECT_EQ(RecordCalendarTime(bcd), c.calendarTime) << std::hex << int(c.bcdYear);
  }
}

TEST_F(DecoderTest, InvalidDigitsAreNormalisedNotRejected) {
  // Month 0x13 -> 13 -> January of the next year; second 0x99 -> 99 -> one minute on.
  const uint8_t bcd[6] = {0x03, 0x13, 0x01, 0x00, 0x00, 0x99};
  EXPECT_EQ(RecordCalendarTime(bcd), 1072915200 + 99);  // 2004-01-01 00:01:39 UTC
}

TEST_F(DecoderTest, LocalTimeOfTheRecordFollowsTheTimeZone) {
  UseTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
  const uint8_t winter[6] = {0x04, 0x03, 0x15, 0x10, 0x20, 0x30};
  const uint8_t summer[6] = {0x04, 0x07, 0x15, 0x10, 0x20, 0x30};
  EXPECT_EQ(RecordCalendarTime(winter), 1079346030 - 3600);
  EXPECT_EQ(RecordCalendarTime(summer), 1089886830 - 7200);
}

TEST_F(DecoderTest, FixedFieldsAndWorkedExample) {
  gModelIndex = ModelIndex(1);
  gMemoryDeviceMap[33] = "DIMM_B1";
  const HistoryEntry e = Decode(MakeRecord(1, 257));
  EXPECT_STREQ(e.text, "Single-bit ECC error at DIMM_B1");
  EXPECT_EQ(e.recordType, 2);
  EXPECT_EQ(e.generatorIdLow, 33);
  EXPECT_EQ(e.generatorIdHigh, 0);
  EXPECT_EQ(e.evmRev, 3);
  EXPECT_EQ(e.sensorNumber, 255);
  EXPECT_EQ(+e.time, 1079346030);  // 2004-03-15 10:20:30 UTC
  // The entry has a text but no PET value: the table still gives its zeroed PET record,
  // which stands in place of the defaults.
  EXPECT_EQ(e.sensorType, 0);
  EXPECT_EQ(e.eventReadingType, 0);
  EXPECT_EQ(e.eventData1, 0);
  EXPECT_EQ(e.pet3, 0);
}

TEST_F(DecoderTest, DefaultTrapBytesWithoutAnyEntry) {
  const HistoryEntry e = Decode(MakeRecord(5));
  EXPECT_EQ(e.sensorType, 0x12);
  EXPECT_EQ(e.eventReadingType, 0x6F);
  EXPECT_EQ(e.eventData1, 1);
  EXPECT_EQ(e.eventData2, 0);
  EXPECT_EQ(e.eventData3, 0);
  EXPECT_EQ(e.pet3, 0x22);
  EXPECT_EQ(e.pet4, 0);
}

struct LocatorCase {
  int32_t model;
  uint16_t handle;
  uint16_t key;
};

TEST_F(DecoderTest, MemoryLocatorKeyPerModel) {
  const LocatorCase cases[] = {
      {1, 256, 31}, {1, 257, 33}, {1, 258, 35}, {1, 259, 37}, {1, 255, 255}, {1, 260, 260},
      {4, 0x1720, 0x20}, {4, 0x1700, 0}, {4, 0x0010, 0xE910},  // below 0x1700: wraps in 16 bits
      {3, 39, 39}, {0, 0x1720, 0x1720},
  };
  for (const LocatorCase& c : cases) {
    EXPECT_EQ(MemoryLocatorKey(ModelIndex(c.model), c.handle), c.key) << c.model << " " << c.handle;
  }
}

TEST_F(DecoderTest, MemoryErrorTypesAppendTheLocatorOfTheirKey) {
  gModelIndex = ModelIndex(4);
  gMemoryDeviceMap[0x20] = "CPU1_DIMM_A2";
  EXPECT_STREQ(Decode(MakeRecord(2, 0xABCD1720)).text, "Multi-bit ECC error at CPU1_DIMM_A2");
  const HistoryEntry resize = Decode(MakeRecord(7, 0x1720));
  EXPECT_STREQ(resize.text, "POST memory resize at CPU1_DIMM_A2");
  EXPECT_EQ(resize.generatorIdLow, 1);
  // A handle the map does not know adds nothing.
  EXPECT_STREQ(Decode(MakeRecord(1, 0x1799)).text, "Single-bit ECC error at ");
}

struct PostCase {
  uint32_t first;
  uint32_t second;
  uint32_t code;
};

TEST_F(DecoderTest, PostErrorCodes) {
  const PostCase cases[] = {
      {0x00000004, 0, 2},           {0x01000000, 0x00000010, 260},
      {0, 0, 0},                    {0x01000000, 0, 256},
      {0x00100000, 0, 20},          {0x00000008, 0xFFFFFFFF, 3},
      {0x01000008, 0x00000004, 258},  // other bits of the first word are not examined
      {0x80000000, 0, 31},          {0x01000000, 0x80000000, 287},
  };
  for (const PostCase& c : cases) {
    EXPECT_EQ(PostErrorCode(c.first, c.second), c.code) << std::hex << c.first << " " << c.second;
  }
}

TEST_F(DecoderTest, PostErrorSpecificEntryReplacesTextAndTrapBytes) {
  const HistoryEntry cmos = Decode(MakeRecord(8, 4));
  EXPECT_STREQ(cmos.text, "POST error: CMOS battery failed");
  EXPECT_EQ(cmos.sensorType, 0x0F);
  EXPECT_EQ(cmos.eventData1, (0x32 & 0x0F) | (5 & 0x0F));
  EXPECT_EQ(cmos.eventData2, 7);
  EXPECT_EQ(cmos.eventData3, 9);
  EXPECT_EQ(cmos.pet3, 0x21);
  EXPECT_STREQ(Decode(MakeRecord(8, 0x01000000, 0x10)).text, "POST error: keyboard controller");
  EXPECT_STREQ(Decode(MakeRecord(8, 0)).text, "POST error: unknown");
  // A code without its own entry loses the general text and trap bytes too.
  const HistoryEntry missing = Decode(MakeRecord(8, 0x20));
  EXPECT_STREQ(missing.text, "");
  EXPECT_EQ(missing.sensorType, 0x12);
  EXPECT_EQ(missing.pet3, 0x22);
}

TEST_F(DecoderTest, SystemLimitUsesTheWholeFirstWord) {
  const HistoryEntry warning = Decode(MakeRecord(16, 5));
  EXPECT_STREQ(warning.text, "Temperature warning");
  EXPECT_EQ(warning.sensorType, 1);
  EXPECT_EQ(warning.pet3, 2);
  EXPECT_STREQ(Decode(MakeRecord(16, 0x00010005)).text, "");
  EXPECT_EQ(Decode(MakeRecord(16, 7)).sensorType, 0x10);
}

TEST_F(DecoderTest, PciErrorsGetBusTextOnlyWhenPresent) {
  EXPECT_STREQ(Decode(MakeRecord(9, 0x00024B01)).text,
               "PCI parity error-bus no.2 device no.9 function no.3");
  EXPECT_STREQ(Decode(MakeRecord(10, 0xFFFFFF01)).text,
               "PCI system error-bus no.255 device no.31 function no.7");
  EXPECT_STREQ(Decode(MakeRecord(9, 0x00024B00)).text, "PCI parity error");
}

TEST_F(DecoderTest, UnknownTypesGetEmptyTextAndDefaultTrapBytes) {
  for (uint8_t type : {0, 3, 0x11, 0x80, 0xFF}) {
    const HistoryEntry e = Decode(MakeRecord(type, 0x12345678));
    EXPECT_STREQ(e.text, "") << int(type);
    EXPECT_EQ(e.sensorType, 0x12);
    EXPECT_EQ(e.generatorIdLow, 33);
  }
}

TEST_F(DecoderTest, ShortRecordsReadMissingBytesAsZero) {
  // The bytes after the record (0xFF here) belong to the next record, not to this one.
  LogRecordBytes bytes = MakeRecord(8, 0x04, 0);
  bytes.resize(8);
  bytes.insert(bytes.end(), 8, 0xFF);
  DecodedEvent e;
  DecodeEventRecord(bytes.data(), 8, &e);
  EXPECT_STREQ(e.entry.text, "POST error: unknown");
  // Even a two-byte record decodes (time of day zero, month -1 normalised).
  DecodeEventRecord(bytes.data(), 2, &e);
  EXPECT_EQ(e.entry.recordType, 2);
}

TEST_F(DecoderTest, OverlongTextsAreCutAt199Characters) {
  gModelIndex = ModelIndex(0);
  gMemoryDeviceMap[0x777] = std::string(300, 'L');
  const HistoryEntry e = Decode(MakeRecord(1, 0x777));
  EXPECT_EQ(std::strlen(e.text), 199u);
  EXPECT_EQ(std::string(e.text).substr(0, 24), "Single-bit ECC error at ");
  EXPECT_EQ(e.text[199], '\0');
}

struct RecencyCase {
  const char* name;
  int64_t offsetSeconds;  // record time relative to now
  bool marked;
};

TEST_F(DecoderTest, OverTemperatureIsToldOnlyForRecentEvents) {
  const RecencyCase cases[] = {
      {"two minutes ago", -120, false}, {"61 s ago", -61, false}, {"exactly a minute ago", -60, true},
      {"30 s ago", -30, true},          {"now", 0, true},          {"in the future", 3600, true},
  };
  for (const RecencyCase& c : cases) {
    EXPECT_EQ(RecentOverTemperature(RecordAt(16, 0x12, gFixedNow + c.offsetSeconds)), c.marked) << c.name;
  }
  // Not an over-temperature event: temperature sensor but another trap code.
  EXPECT_FALSE(RecentOverTemperature(RecordAt(16, 5, gFixedNow)));
  // The decoder tells; it shows nothing itself.
  EXPECT_TRUE(MessageLines().empty());
}

TEST_F(DecoderTest, OverTemperatureWithoutAValidTimeIsNotRecent) {
  // Year 2079 cannot be held by the 32-bit time: not recent, and the entry's time is 0 (unknown).
  gNow = [] { return std::time_t(4000000000); };
  const uint8_t bcd[6] = {0x79, 0x01, 0x01, 0x00, 0x00, 0x00};
  LogRecordBytes r = MakeRecord(16, 0x12);
  std::memcpy(&r[2], bcd, 6);
  DecodedEvent e;
  EXPECT_FALSE(Decode(r, &e));
  EXPECT_EQ(+e.entry.time, 0);
}

TEST_F(DecoderTest, OverTemperatureMinuteCarriesAcrossTheHourAndDay) {
  // 23:59:30 on the last day of February; one minute later is 00:00:30 on 1 March.
  std::tm t{};
  t.tm_year = 104;
  t.tm_mon = 1;
  t.tm_mday = 29;
  t.tm_hour = 23;
  t.tm_min = 59;
  t.tm_sec = 30;
  t.tm_isdst = -1;
  const std::time_t record = std::mktime(&t);
  EXPECT_TRUE(IsRecentRecordTime(int32_t(record), record + 60));
  EXPECT_FALSE(IsRecentRecordTime(int32_t(record), record + 61));
  EXPECT_FALSE(IsRecentRecordTime(-1, 0));
}

}  // namespace
}  // namespace vigil::test
