// The BIOS event log end to end: hwgate-sim serving a real log, the agent following it, the
// system event log lines and the history ring it leaves, vigilctl reading the ring.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <map>
#include <memory>
#include <thread>
#include <string>

#include "kelvo_c850_run.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kOnePoll = 7s;  // the agent polls every 6 s

using EventLogE2e = KelvoC850Run;

TEST_F(EventLogE2e, FirstRunRestartAppendAndClear) {
  EventLogSystem& s = *system_;
  // First run: every record of the log reported once, in the ring as new.
  EXPECT_EQ(s.EventLines().size(), kScenarioRecords);
  EXPECT_EQ(s.AppendCount(), kScenarioRecords);
  EXPECT_EQ(+s.Entry(0).seen1, 0u);
  EXPECT_NE(s.EventLines()[1].find("DIMM_P0_A0"), std::string::npos);  // model-4 locator

  // Restart: the whole log back in the ring as known, nothing reported again.
  ASSERT_EQ(s.StopAgent(), 0) << s.Log();
  ASSERT_EQ(s.StartAgent(), 0) << s.Log();
  ASSERT_TRUE(WaitUntil([&] { return s.AppendCount() == kScenarioRecords; }, kOnePoll));
  EXPECT_EQ(s.EventLines().size(), kScenarioRecords);
  for (std::size_t i = 0; i < kScenarioRecords; ++i) {
    EXPECT_EQ(+s.Entry(i).seen1, 1u) << i;
    EXPECT_EQ(+s.Entry(i).seen2, 1u) << i;
  }

  // A record appended while running: reported once within one poll.
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(9, 12, 0x00024B01)}).status, 0);
  ASSERT_TRUE(s.WaitForEvents(kScenarioRecords + 1, kOnePoll));
  EXPECT_NE(s.EventLines().back().find("bus no.2 device no.9 function no.3"), std::string::npos);
  const RunResult listed = s.Vigilctl({"events", "--json"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_NE(listed.out.find("\"new\":true"), std::string::npos);
  EXPECT_NE(listed.out.find("\"new\":false"), std::string::npos);

  // A cleared log: index back to 0, count runs on, the new log's records all reported.
  ASSERT_EQ(s.Ctl({"clear-log", "1712000000"}).status, 0);
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(16, 12, 0)}).status, 0);
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(9, 12, 0x00034B01)}).status, 0);
  ASSERT_TRUE(s.WaitForEvents(kScenarioRecords + 3, kOnePoll));
  EXPECT_EQ(s.NextSlot(), 2);
  EXPECT_EQ(s.AppendCount(), kScenarioRecords + 3);
  std::this_thread::sleep_for(kOnePoll);
  EXPECT_EQ(s.EventLines().size(), kScenarioRecords + 3);
}

TEST_F(EventLogE2e, AFailedExchangeReadsTheSameRecordsNextPoll) {
  EventLogSystem& s = *system_;
  ASSERT_EQ(s.Ctl({"fail-next", "1"}).status, 0);
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(9, 12, 0x00054B01)}).status, 0);
  // The first poll after this fails; the one after reports the record, once.
  ASSERT_TRUE(s.WaitForEvents(kScenarioRecords + 1, 2 * kOnePoll));
  EXPECT_EQ(s.Stat("injected_failures"), 1);
  std::this_thread::sleep_for(kOnePoll);
  EXPECT_EQ(s.EventLines().size(), kScenarioRecords + 1);
}

TEST_F(EventLogE2e, MalformedResponsesLoseNothing) {
  EventLogSystem& s = *system_;
  for (const char* kind : {"zero-length", "overrun"}) {
    const std::size_t before = s.EventLines().size();
    ASSERT_EQ(s.Ctl({"malformed", kind}).status, 0);
    ASSERT_EQ(s.Ctl({"append-record", RecordHex(9, 12, 0x00064B01)}).status, 0);
    ASSERT_TRUE(s.WaitForEvents(before + 1, 2 * kOnePoll)) << kind;
    EXPECT_TRUE(s.agent().Running());
  }
}

TEST_F(EventLogE2e, ALogAbove90PercentSendsOneAlert) {
  EventLogSystem& s = *system_;
  // 172 bytes + 56 records of 64 = 3756 of 4096: 91 %. (A record must fit the 68 bytes of
  // one exchange to be read at all.)
  for (int i = 0; i < 56; ++i) ASSERT_EQ(s.Ctl({"append-record", RecordHex(16, 64, 0)}).status, 0);
  ASSERT_TRUE(WaitUntil([&] { return s.Stat("alerts_0x54") == 1; }, kOnePoll));
  std::this_thread::sleep_for(kOnePoll);
  EXPECT_EQ(s.Stat("alerts_0x54"), 1);
  std::string alertLine;
  for (const std::string& line : s.EventLines()) {
    if (line.find("BIOS Event Log Utilization") != std::string::npos) alertLine = line;
  }
  EXPECT_NE(alertLine.find("BIOS Event Log Utilization 91% exceeds threshold 90%"), std::string::npos)
      << alertLine;
  // Cleared: re-armed; filled again: a second alert.
  ASSERT_EQ(s.Ctl({"clear-log", "1712000001"}).status, 0);
  std::this_thread::sleep_for(kOnePoll);
  for (int i = 0; i < 60; ++i) ASSERT_EQ(s.Ctl({"append-record", RecordHex(16, 64, 0)}).status, 0);
  EXPECT_TRUE(WaitUntil([&] { return s.Stat("alerts_0x54") == 2; }, kOnePoll))
      << s.Ctl({"stats"}).out << s.EventLines().back();
}

TEST_F(EventLogE2e, KilledInABusyPollLosesNoRecord) {
  EventLogSystem& s = *system_;
  // PCI errors whose bus text makes every record's report unique.
  constexpr int kBurst = 250;
  for (int i = 0; i < kBurst; ++i) {
    const uint32_t word = 1u | uint32_t(i & 0xFF) << 8 | uint32_t(i >> 8) << 16;
    ASSERT_EQ(s.Ctl({"append-record", RecordHex(9, 12, word)}).status, 0);
  }
  // The next poll starts reporting the burst: kill the agent in the middle of it.
  ASSERT_TRUE(s.WaitForEvents(kScenarioRecords + 1, kOnePoll));
  ASSERT_EQ(s.StopAgent(SIGKILL), 0) << s.Log();
  const std::size_t beforeKill = s.EventLines().size() - kScenarioRecords;
  ASSERT_EQ(s.StartAgent(), 0) << s.Log();
  ASSERT_TRUE(WaitUntil([&] { return s.AppendCount() == kScenarioRecords + kBurst; }, kOnePoll));
  std::this_thread::sleep_for(1s);

  std::map<std::string, int> reports;
  const auto lines = s.EventLines();
  for (std::size_t i = kScenarioRecords; i < lines.size(); ++i) ++reports[lines[i]];
  int duplicates = 0;
  for (const auto& [line, count] : reports) duplicates += count - 1;
  EXPECT_EQ(reports.size(), std::size_t(kBurst)) << "every record of the burst reported";
  // Only records of the poll that was killed can come twice: its position was never saved.
  EXPECT_LE(duplicates, int(beforeKill));
  std::printf("burst %d records: %zu reported before SIGKILL, %d reported twice\n", kBurst, beforeKill,
              duplicates);
  // The ring holds the whole log after the restart.
  for (std::size_t i = 0; i < kScenarioRecords + kBurst; ++i) ASSERT_NE(s.Entry(i).recordType, 0) << i;
}

}  // namespace
}  // namespace vigil::test

namespace vigil::test {
namespace {

// A server model the agent does not know, with the generic event set imported as the package
// does: readable texts and IPMI sensor types in the journal fields, vigilctl and the metrics.
TEST(EventLogGenericE2e, AnUnknownModelReadsThroughTheGenericSet) {
  setenv("TZ", "UTC0", 1);
  EventLogSystem s("unknown-model.json", "Generic");
  ASSERT_EQ(s.StartAgent(), 0) << s.Log();
  ASSERT_TRUE(s.WaitForEvents(3, kOnePoll));
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(0x10, 12, 0x00010050)}).status, 0);  // handle 0x50: "CPU Temp"
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(0x0A, 12, 0)}).status, 0);
  ASSERT_TRUE(s.WaitForEvents(5, kOnePoll));

  // Text (the message table adds the full stop), IPMI sensor type (decimal) or locator of each
  // line, in log order.
  const std::pair<const char*, const char*> expected[] = {
      {"\"MESSAGE\":\"System boot.\"", "\"VIGIL_SENSOR_TYPE\":\"29\""},
      {"\"MESSAGE\":\"Single-bit ECC memory error corrected: DIMM2.\"", "\"VIGIL_SENSOR_TYPE\":\"12\""},
      {"\"MESSAGE\":\"System limit exceeded: processor 2 temperature out of range.\"", "\"VIGIL_SENSOR_TYPE\":\"1\""},
      {"\"MESSAGE\":\"System limit exceeded: CPU Temp.\"", "\"VIGIL_LOCATOR\":\"CPU Temp\""},
      {"\"MESSAGE\":\"PCI system error (SERR).\"", "\"VIGIL_SENSOR_TYPE\":\"19\""},
  };
  const std::vector<std::string> lines = s.EventLines();
  ASSERT_EQ(lines.size(), std::size(expected));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_NE(lines[i].find(expected[i].first), std::string::npos) << lines[i];
    EXPECT_NE(lines[i].find(expected[i].second), std::string::npos) << lines[i];
  }

  const RunResult events = s.Vigilctl({"events"});
  EXPECT_NE(events.out.find("Memory                    Single-bit ECC memory error corrected: DIMM2"), std::string::npos)
      << events.out;
  const RunResult metrics = s.Vigilctl({"metrics", "--no-refresh"});
  EXPECT_NE(metrics.out.find("vigil_bios_events{type=\"Memory\"} 1\n"), std::string::npos) << metrics.out;
  EXPECT_NE(metrics.out.find("vigil_bios_events{type=\"Temperature\"} 2\n"), std::string::npos);
  // The UUID bytes of the scenario's system information, the first three fields little-endian.
  EXPECT_NE(metrics.out.find("vigil_agent_info{model=\"\",manufacturer=\"Kelvo\",product=\"Kelvo D100\","
                             "uuid=\"127f4e0b-3d2c-5b4a-8e6f-7a8b9c0d1e2f\"} 1\n"),
            std::string::npos);
  const RunResult status = s.Vigilctl({"status"});
  EXPECT_NE(status.out.find("Product               Kelvo D100 (Kelvo)\n"), std::string::npos) << status.out;
  EXPECT_NE(status.out.find("Generic event set     in use"), std::string::npos);
}

}  // namespace
}  // namespace vigil::test
