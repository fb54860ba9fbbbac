// The structured fields each kind of report carries, as the agent hands them to the event log
// (the POSIX backend's journal entry and events.log line: tests/os_posix/event_log_test.cpp).
#include <regex>
#include <string>
#include <vector>

#include "agent/eventlog/event_fields.h"
#include "agent/eventlog/event_log_reader.h"
#include "eventlog_fixture.h"
#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"

namespace vigil::test {
namespace {

// The journal field names of a line, in order: its upper-case keys.
std::vector<std::string> FieldNames(const std::string& line) {
  static const std::regex kKey("\"([A-Z][A-Z0-9_]*)\":");
  std::vector<std::string> names;
  for (auto it = std::sregex_iterator(line.begin(), line.end(), kKey); it != std::sregex_iterator(); ++it) {
    names.push_back((*it)[1]);
  }
  return names;
}

bool Has(const std::string& line, const std::string& pair) { return line.find(pair) != std::string::npos; }

class EventFieldsTest : public EventLogTest {
 protected:
  FakeLogDevice device_;
};

const std::vector<std::string> kCommon = {"MESSAGE_ID", "VIGIL_RECORD_TYPE", "VIGIL_SENSOR_TYPE", "VIGIL_EVENT_TYPE",
                                          "VIGIL_EVENT_TIME"};

std::vector<std::string> With(std::vector<std::string> names, std::initializer_list<const char*> more) {
  names.insert(names.end(), more.begin(), more.end());
  return names;
}

TEST_F(EventFieldsTest, EachKindOfBiosEventCarriesItsFieldSet) {
  gModelIndex = ModelIndex(4);
  gMemoryDeviceMap[0x20] = "CPU1_DIMM_A2";
  device_.Append(MakeRecord(2, 0xABCD1720));  // memory error: names a locator
  device_.Append(MakeRecord(9, 0x00024B01));  // PCI error: names its bus location
  device_.Append(MakeRecord(8, 1u << 2));     // POST error: names nothing
  device_.Append(MakeRecord(16, 7));          // log area reset: information
  StartReader();
  PollEventLog();
  const std::vector<std::string> lines = EventLines();
  ASSERT_EQ(lines.size(), 4u);

  EXPECT_EQ(FieldNames(lines[0]), With(kCommon, {"VIGIL_LOCATOR", "VIGIL_RING_INDEX"})) << lines[0];
  EXPECT_TRUE(Has(lines[0], "\"VIGIL_LOCATOR\":\"CPU1_DIMM_A2\"")) << lines[0];
  EXPECT_TRUE(Has(lines[0], "\"message\":\"Multi-bit ECC error at CPU1_DIMM_A2\"")) << lines[0];
  EXPECT_TRUE(Has(lines[0], "\"type\":\"warning\"")) << lines[0];
  EXPECT_TRUE(Has(lines[0], "\"source\":\"Vigil Agent\"")) << lines[0];
  EXPECT_TRUE(Has(lines[0], std::string("\"MESSAGE_ID\":\"") + kBiosEventMessageId + "\"")) << lines[0];
  EXPECT_TRUE(Has(lines[0], "\"VIGIL_RECORD_TYPE\":\"2\"")) << lines[0];
  EXPECT_TRUE(Has(lines[0], "\"VIGIL_RING_INDEX\":\"0\"")) << lines[0];
  // The record's local time 2004-03-15 10:20:30 (the fixture's zone is UTC).
  EXPECT_TRUE(Has(lines[0], "\"VIGIL_EVENT_TIME\":\"2004-03-15T10:20:30Z\"")) << lines[0];

  EXPECT_EQ(FieldNames(lines[1]), With(kCommon, {"VIGIL_LOCATOR", "VIGIL_RING_INDEX"})) << lines[1];
  EXPECT_TRUE(Has(lines[1], "\"VIGIL_LOCATOR\":\"bus 2 device 9 function 3\"")) << lines[1];
  EXPECT_EQ(FieldNames(lines[2]), With(kCommon, {"VIGIL_RING_INDEX"})) << lines[2];
  EXPECT_TRUE(Has(lines[2], "\"VIGIL_RING_INDEX\":\"2\"")) << lines[2];
  EXPECT_TRUE(Has(lines[3], "\"type\":\"information\"")) << lines[3];
  EXPECT_TRUE(Has(lines[3], "\"VIGIL_SENSOR_TYPE\":\"16\"")) << lines[3];
}

TEST_F(EventFieldsTest, AnUnknownTimeLeavesTheTimeFieldOut) {
  const uint8_t badTime[6] = {0x79, 0x01, 0x01, 0x00, 0x00, 0x00};  // 2079: past the 32-bit time
  device_.Append(MakeRecord(8, 1u << 2, 0, badTime));
  StartReader();
  PollEventLog();
  const std::vector<std::string> lines = EventLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_FALSE(Has(lines[0], "VIGIL_EVENT_TIME")) << lines[0];
}

TEST_F(EventFieldsTest, TheUtilizationWarningHasItsOwnMessageId) {
  for (int i = 0; i < 240; ++i) device_.Append(MakeRecord(8, 1u << 2));  // 3840 of 4096 bytes
  StartReader();
  PollEventLog();
  const std::vector<std::string> lines = EventLines();
  ASSERT_EQ(lines.size(), 241u);
  EXPECT_EQ(FieldNames(lines.back()), (std::vector<std::string>{"MESSAGE_ID", "VIGIL_LOG_UTILIZATION"}))
      << lines.back();
  EXPECT_TRUE(Has(lines.back(), std::string("\"MESSAGE_ID\":\"") + kUtilizationMessageId + "\""));
  EXPECT_TRUE(Has(lines.back(), "\"VIGIL_LOG_UTILIZATION\":\"93\""));
}

}  // namespace
}  // namespace vigil::test
