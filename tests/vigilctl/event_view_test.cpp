#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <cstring>
#include <vector>

#include "event_view.h"

namespace vigilctl {
namespace {

std::vector<std::size_t> Range(std::size_t from, std::size_t to) {
  std::vector<std::size_t> v;
  for (std::size_t s = from; s < to; ++s) v.push_back(s);
  return v;
}
std::vector<std::size_t> Join(std::vector<std::size_t> a, const std::vector<std::size_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct OrderCase {
  const char* name;
  RingCounters counters;
  bool all;
  std::vector<std::size_t> slots;
};

TEST(EventViewTest, RingOrderRunsFromOldestToNewest) {
  const OrderCase cases[] = {
      {"fresh start", {0, 0}, false, {}},
      {"three entries", {3, 3}, false, {0, 1, 2}},
      {"full ring, index 600", {600, 600}, false, Range(0, 600)},
      {"wrapped", {5, 605}, false, Join(Range(5, 600), Range(0, 5))},
      {"count wrapped past 65535", {16, 0}, false, Join(Range(16, 600), Range(0, 16))},
      {"cleared log after 10", {2, 12}, false, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 1}},
      {"all slots", {3, 3}, true, Join(Range(3, 600), Range(0, 3))},
  };
  for (const OrderCase& c : cases) EXPECT_EQ(RingOrder(c.counters, c.all), c.slots) << c.name;
}

struct NewCase {
  const char* name;
  RingCounters before;
  RingCounters after;
  std::vector<std::size_t> slots;
};

TEST(EventViewTest, NewSlotsFollowTheCounters) {
  const NewCase cases[] = {
      {"nothing", {4, 4}, {4, 4}, {}},
      {"two more", {4, 4}, {6, 6}, {4, 5}},
      {"across the end", {599, 599}, {2, 602}, {599, 0, 1}},
      {"from index 600", {600, 600}, {1, 601}, {0}},
      {"count wraps", {10, 65535}, {12, 1}, {10, 11}},
      {"cleared log", {20, 20}, {2, 23}, {20, 0, 1}},
      {"more than a ring", {0, 0}, {100, 1300}, Join(Range(100, 600), Range(0, 100))},
  };
  for (const NewCase& c : cases) EXPECT_EQ(NewSlots(c.before, c.after), c.slots) << c.name;
}

TEST(EventViewTest, ReadRingCountersBoundsAGarbageIndex) {
  std::vector<uint8_t> block(157072, 0);
  block[0] = 0xFF;
  block[1] = 0xFF;
  EXPECT_EQ(ReadRingCounters(block.data()).nextSlot, 600);
}

TEST(EventViewTest, SensorTypeNames) {
  EXPECT_STREQ(EventTypeName(0x01), "Temperature");
  EXPECT_STREQ(EventTypeName(0x0C), "Memory");
  EXPECT_STREQ(EventTypeName(0x12), "System Event");
  EXPECT_STREQ(EventTypeName(0x2C), "FRU State");
  EXPECT_STREQ(EventTypeName(0x2D), "Reserved");
  EXPECT_STREQ(EventTypeName(0xC0), "OEM");
}

TEST(EventViewTest, LocalIsoTimeCarriesTheOffset) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows C runtime has no setenv and takes no POSIX TZ rules";
#else
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  EXPECT_EQ(LocalIsoTime(1079346030), "2004-03-15T11:20:30+01:00");
  EXPECT_EQ(LocalIsoTime(1089886830), "2004-07-15T12:20:30+02:00");
  EXPECT_EQ(LocalIsoTime(0), "");
  setenv("TZ", "UTC0", 1);
  tzset();
#endif
}

TEST(EventViewTest, JsonOfAnEntryWithHostileText) {
  EventRow row{7, {}};
  row.entry.time = 0;
  row.entry.sensorType = 1;
  std::memset(row.entry.text, '"', sizeof row.entry.text);  // no NUL at all
  const std::string json = EventJson(row);
  EXPECT_NE(json.find("\"slot\":7"), std::string::npos);
  EXPECT_NE(json.find("\"time\":null"), std::string::npos);
  EXPECT_NE(json.find("\"new\":true"), std::string::npos);
  EXPECT_EQ(EntryText(row.entry).size(), 200u);
  row.entry.text[3] = '\n';
  EXPECT_EQ(EventLineText(row).find('\n'), EventLineText(row).size() - 1);
}

}  // namespace
}  // namespace vigilctl
