// The exposition vigilctl writes for Prometheus: escaping, values, grouping of families.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>
#include <vector>

#include "agent/eventlog/decoded_event.h"
#include "metrics_text.h"
#include "agent/sensors/sensor_conversion.h"
#include "agent/sensors/sensor_table.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"

namespace vigilctl {
namespace {

namespace b = vigil::block;
namespace sensor = vigil::sensor;

TEST(MetricsTextTest, LabelValuesAreEscapedAndMadeValidUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"CPU 1 Temp", "CPU 1 Temp"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"c:\\dir\\", "c:\\\\dir\\\\"},
      {"two\nlines", "two\\nlines"},
      {"tab\tand\rcr", "tab\tand\rcr"},                         // the format escapes only three
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},  // valid UTF-8 passes
      {"caf\xE9", "caf\xEF\xBF\xBD"},                            // Latin-1 byte
      {"\xC0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong NUL
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},          // sequence cut short
      {"\xFF\"", "\xEF\xBF\xBD\\\""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(LabelValue(in), out) << in;
}

TEST(MetricsTextTest, SampleValuesReadBackExactly) {
  EXPECT_EQ(SampleValue(25.0f), "25");
  EXPECT_EQ(SampleValue(3.3f), "3.3");
  EXPECT_EQ(SampleValue(3300 * 0.001f), "3.3000002");  // the f32 the agent stores, exactly
  EXPECT_EQ(SampleValue(-0.0f), "-0");
  EXPECT_EQ(SampleValue(65535), "65535");
  EXPECT_EQ(SampleValue(0.1), "0.1");
  EXPECT_EQ(SampleValue(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(SampleValue(std::numeric_limits<double>::infinity()), "+Inf");
  EXPECT_EQ(SampleValue(-std::numeric_limits<double>::infinity()), "-Inf");
}

class MetricsBlockTest : public ::testing::Test {
 protected:
  MetricsBlockTest() : block_(b::kSize, 0) {}
  void Put(std::size_t i, uint8_t type, const char* name, float reading, uint16_t state) {
    uint8_t* r = block_.data() + b::SensorRecordOffset(i);
    r[sensor::kOwnerId] = 0x21;
    r[sensor::kSensorType] = type;
    std::memcpy(r + sensor::kName, name, std::strlen(name));
    b::StoreF32(r, sensor::kReading, reading);
    b::StoreU16(r, sensor::kState, state);
    b::StoreU16(block_.data(), b::kSensorCount, uint16_t(i + 1));
  }
  std::string Format(RefreshOutcome refresh = RefreshOutcome::kNotAsked) {
    return FormatMetrics({block_.data(), {"Kelvo B720", "Kelvo", "Kelvo B720 Rack \"2U\""}, refresh});
  }
  std::vector<uint8_t> block_;
};

// Every family name of the sample lines, in order of first appearance, with the check that no
// family comes back after another one started and that each has exactly one HELP and TYPE
// right before its samples.
std::vector<std::string> Families(const std::string& text) {
  std::vector<std::string> order;
  std::map<std::string, int> helps;
  std::istringstream in(text);
  std::string current;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# HELP ", 0) == 0) {
      current = line.substr(7, line.find(' ', 7) - 7);
      EXPECT_EQ(++helps[current], 1) << current;
      order.push_back(current);
      continue;
    }
    if (line.rfind("# TYPE ", 0) == 0) {
      EXPECT_EQ(line.substr(7, line.find(' ', 7) - 7), current);
      continue;
    }
    const std::string name = line.substr(0, line.find_first_of("{ "));
    EXPECT_EQ(name, current) << line;
  }
  return order;
}

TEST_F(MetricsBlockTest, ReadingsStatesAndFamiliesTogether) {
  Put(0, sensor::kTypeTemperature, "CPU 1 Temp                    ", 45.5f, vigil::kStateOk);
  Put(1, sensor::kTypeVoltage, "3.3V", vigil::kNoReading, vigil::kStateCritical);
  Put(2, sensor::kTypeFan, "Fan", 3000.0f, vigil::kStateNonCritical);
  Put(3, 0x08, "", 0.0f, vigil::kStateOk);  // discrete: no sample anywhere
  Put(4, sensor::kTypeTemperature, "T2", 20.0f, vigil::kStateNonRecoverable);
  Put(5, sensor::kTypeTemperature, "T3", 20.0f, vigil::kStateUnknown);
  Put(6, sensor::kTypeTemperature, "T4", 20.0f, vigil::kStateOther);
  const std::string text = Format(RefreshOutcome::kFailed);
  EXPECT_EQ(Families(text),
            (std::vector<std::string>{"vigil_temperature_celsius", "vigil_voltage_volts", "vigil_fan_speed_rpm",
                                      "vigil_sensor_state", "vigil_bios_events_total",
                                      "vigil_bios_event_history_entries", "vigil_bios_events_new", "vigil_bios_events",
                                      "vigil_bios_event_latest_new_sequence", "vigil_agent_up", "vigil_agent_info", "vigil_protective_shutdown_enabled",
                                      "vigil_scrape_refresh_success"}));
  EXPECT_NE(text.find("# TYPE vigil_bios_events_total counter\n"), std::string::npos);
  EXPECT_NE(text.find("vigil_temperature_celsius{sensor=\"CPU 1 Temp\",index=\"0\"} 45.5\n"), std::string::npos);
  EXPECT_EQ(text.find("vigil_voltage_volts{"), std::string::npos);  // the no-reading marker
  EXPECT_NE(text.find("vigil_fan_speed_rpm{sensor=\"Fan\",index=\"2\"} 3000\n"), std::string::npos);
  const std::pair<const char*, const char*> states[] = {
      {"sensor=\"CPU 1 Temp\",index=\"0\",type=\"temperature\"} 0", "OK"},
      {"sensor=\"3.3V\",index=\"1\",type=\"voltage\"} 2", "critical, even without a reading"},
      {"sensor=\"Fan\",index=\"2\",type=\"fan\"} 1", "non-critical"},
      {"sensor=\"T2\",index=\"4\",type=\"temperature\"} 3", "non-recoverable"},
      {"sensor=\"T3\",index=\"5\",type=\"temperature\"} NaN", "unknown"},
      {"sensor=\"T4\",index=\"6\",type=\"temperature\"} NaN", "other"},
  };
  for (const auto& [sample, what] : states) {
    EXPECT_NE(text.find(std::string("vigil_sensor_state{") + sample + "\n"), std::string::npos) << what;
  }
  EXPECT_EQ(text.find("index=\"3\""), std::string::npos);
  // The firmware's product string is escaped like any label value.
  EXPECT_NE(text.find("vigil_agent_info{model=\"Kelvo B720\",manufacturer=\"Kelvo\","
                      "product=\"Kelvo B720 Rack \\\"2U\\\"\",uuid=\"\"} 1\n"),
            std::string::npos);
  EXPECT_NE(text.find("vigil_scrape_refresh_success 0\n"), std::string::npos);
}

TEST_F(MetricsBlockTest, EventCountersComeFromTheRing) {
  b::StoreU16(block_.data(), b::kRingNextSlot, 3);
  b::StoreU16(block_.data(), b::kRingAppendCount, 603);  // wrapped once: all 600 slots in use
  for (std::size_t slot = 0; slot < b::kRingSlots; ++slot) {
    uint8_t* e = block_.data() + b::RingEntryOffset(slot);
    e[offsetof(vigil::HistoryEntry, sensorType)] = slot < 10 ? 0x0C : 0x12;  // 10 memory, the rest system
    if (slot >= 5) b::StoreU32(e, offsetof(vigil::HistoryEntry, seen1), 1);  // all but five known
  }
  b::StoreU8(block_.data(), b::kStartupComplete, 1);
  b::StoreU32(block_.data(), b::kCpuOverTempShutdown, 7);
  block_[b::kSystemUuid] = 0x01;
  const std::string text = Format();
  EXPECT_NE(text.find("vigil_bios_events_total 603\n"), std::string::npos);
  EXPECT_NE(text.find("vigil_bios_event_history_entries 600\n"), std::string::npos);
  EXPECT_NE(text.find("vigil_bios_events_new 5\n"), std::string::npos);
  EXPECT_NE(text.find("vigil_bios_events{type=\"Memory\"} 10\n"), std::string::npos);
  EXPECT_NE(text.find("vigil_bios_events{type=\"System Event\"} 590\n"), std::string::npos);
  EXPECT_NE(text.find("vigil_agent_up 1\n"), std::string::npos);
  EXPECT_NE(text.find("vigil_protective_shutdown_enabled 1\n"), std::string::npos);
  EXPECT_NE(text.find("uuid=\"00000001-0000-0000-0000-000000000000\""), std::string::npos);
  EXPECT_EQ(text.find("vigil_scrape_refresh_success"), std::string::npos);  // no refresh asked
}

// The newest new entry of each type, numbered as the append count numbered it: what an alert on
// "a new memory event" compares from one scrape to the next.
TEST_F(MetricsBlockTest, NewestNewEntryPerTypeCarriesItsAppendNumber) {
  struct Entry {
    std::size_t slot;
    uint8_t sensorType;
    bool isNew;
  };
  struct Case {
    const char* what;
    uint16_t nextSlot, appendCount;
    std::vector<Entry> entries;
    std::vector<std::string> present, absent;
  };
  const Case cases[] = {
      {"five appends: the third is the newest new memory event, the fifth was seen already",
       5, 5,
       {{0, 0x0C, true}, {1, 0x13, true}, {2, 0x0C, true}, {3, 0x01, false}, {4, 0x0C, false}},
       {"{type=\"Memory\"} 3\n", "{type=\"Critical Interrupt\"} 2\n"},
       {"{type=\"Temperature\"}"}},
      {"1202 appends, the ring wrapped twice: slot 1 was the 1202nd, slot 599 the 1200th, slot 2 the 603rd",
       2, 1202,
       {{599, 0x0C, true}, {2, 0x13, true}},
       {"{type=\"Memory\"} 1200\n", "{type=\"Critical Interrupt\"} 603\n"},
       {}},
  };
  for (const Case& c : cases) {
    std::fill(block_.begin(), block_.end(), 0);
    b::StoreU16(block_.data(), b::kRingNextSlot, c.nextSlot);
    b::StoreU16(block_.data(), b::kRingAppendCount, c.appendCount);
    // Every slot not named is a seen system event.
    for (std::size_t slot = 0; slot < b::kRingSlots; ++slot) {
      uint8_t* e = block_.data() + b::RingEntryOffset(slot);
      e[offsetof(vigil::HistoryEntry, sensorType)] = 0x12;
      b::StoreU32(e, offsetof(vigil::HistoryEntry, seen1), 1);
    }
    for (const Entry& entry : c.entries) {
      uint8_t* e = block_.data() + b::RingEntryOffset(entry.slot);
      e[offsetof(vigil::HistoryEntry, sensorType)] = entry.sensorType;
      b::StoreU32(e, offsetof(vigil::HistoryEntry, seen1), entry.isNew ? 0 : 1);
    }
    const std::string text = Format();
    for (const std::string& sample : c.present) {
      EXPECT_NE(text.find("vigil_bios_event_latest_new_sequence" + sample), std::string::npos) << c.what << sample;
    }
    for (const std::string& sample : c.absent) {
      EXPECT_EQ(text.find("vigil_bios_event_latest_new_sequence" + sample), std::string::npos) << c.what << sample;
    }
    EXPECT_EQ(text.find("vigil_bios_event_latest_new_sequence{type=\"System Event\"}"), std::string::npos) << c.what;
  }
}

TEST_F(MetricsBlockTest, LogUtilizationOnlyWhenKnown) {
  EXPECT_EQ(Format().find("vigil_bios_event_log_utilization_percent"), std::string::npos);
  MetricsSource source{block_.data(), {}, RefreshOutcome::kNotAsked};
  source.logUtilization = 24;
  EXPECT_NE(FormatMetrics(source).find("\nvigil_bios_event_log_utilization_percent 24\n"), std::string::npos);
}

TEST(MetricsTextTest, WithoutABlockTheAgentIsDown) {
  EXPECT_EQ(FormatMetrics({nullptr, {}, RefreshOutcome::kFailed}),
            "# HELP vigil_agent_up 1 when an agent is running and answering: started in the block, service "
            "running, request channel held.\n"
            "# TYPE vigil_agent_up gauge\nvigil_agent_up 0\n"
            "# HELP vigil_scrape_refresh_success 1 when the agent refreshed the sensor readings for this scrape.\n"
            "# TYPE vigil_scrape_refresh_success gauge\nvigil_scrape_refresh_success 0\n");
}

}  // namespace
}  // namespace vigilctl
