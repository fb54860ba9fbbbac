#include "eventlog_fixture.h"

#include <stdlib.h>
#include <time.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "contract/registry_paths.h"
#include "agent/eventlog/event_decoder.h"
#include "agent/eventlog/event_log_reader.h"
#include "agent/eventlog/test_log.h"
#include "agent/eventlog/utilization_alert.h"
#include "agent/eventtables/event_table.h"
#include "os/os.h"
#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"

namespace vigil::test {

std::time_t gFixedNow = 0;

namespace {

std::time_t FixedNow() { return gFixedNow; }

struct TableValue {
  const char* key;
  const char* text;
  const char* pet;  // null: no PET value
};

// Texts and trap data the decoder tests rely on.
const TableValue kTable[] = {
    {"01_FFFFFFFF", "Single-bit ECC error at ", nullptr},
    {"02_FFFFFFFF", "Multi-bit ECC error at ", nullptr},
    {"07_FFFFFFFF", "POST memory resize at ", nullptr},
    {"08_FFFFFFFF", "POST error", "0F,6F,1,22,0,0,0,0"},
    {"08_00000000", "POST error: unknown", "0F,6F,1,22,0,0,0,0"},
    {"08_00000002", "POST error: CMOS battery failed", "0F,6F,32,21,0,5,7,9"},
    {"08_00000104", "POST error: keyboard controller", "0F,6F,1,23,0,0,0,0"},
    {"09_FFFFFFFF", "PCI parity error", nullptr},
    {"0A_FFFFFFFF", "PCI system error", nullptr},
    {"10_FFFFFFFF", "System limit exceeded", "12,6F,1,22,0,0,0,0"},
    {"10_00000005", "Temperature warning", "01,01,1,02,0,0,0,0"},
    {"10_00000007", "Log area reset", "10,6F,2,22,0,0,0,0"},
    {"10_00000012", "CPU over temperature", "01,01,1,03,0,0,0,0"},
};

class EventTableEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Sandbox sandbox;
    const std::string base = kParametersBasePath;
    for (const TableValue& v : kTable) {
      WriteString(base + kEventStringTableName + kTestModel, v.key, v.text);
      if (v.pet) WriteString(base + kEventPetTableName + kTestModel, v.key, v.pet);
    }
    gEventTable.Load(kParametersBasePath, kTestModel);
  }

 private:
  static void WriteString(const std::string& path, const char* name, const char* text) {
    os::RegHandle key = nullptr;
    ASSERT_EQ(os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
    os::RegSetValue(key, name, os::kRegSz, text, uint32_t(std::strlen(text) + 1));
    os::RegCloseKey(key);
  }
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new EventTableEnvironment);

}  // namespace

void UseTimeZone(const char* tz) {
  setenv("TZ", tz, 1);
  tzset();
}

void EventLogTest::SetUp() {
  UseTimeZone("UTC0");
  std::tm now{};
  now.tm_year = 104;
  now.tm_mon = 2;
  now.tm_mday = 15;
  now.tm_hour = 10;
  now.tm_min = 21;
  now.tm_isdst = -1;
  gFixedNow = std::mktime(&now);
  gNow = FixedNow;

  block_.assign(block::kSize, 0);
  gBlock = block_.data();
  gEventLogReader = EventLogReaderState{};
  gUtilizationAlerted = false;
  gModelIndex = ModelIndex(0);
  gTestLog.Open();  // no file in a fresh sandbox: inactive
  UseLogRecordSource(DriverLogRecords());
}

void EventLogTest::TearDown() {
  std::remove(sandbox_.Path("var/lib/vigilagent/drive_c/test_log.csv").c_str());
  gTestLog.Open();
  UseLogRecordSource(DriverLogRecords());
  gBlock = nullptr;
}

std::vector<std::string> EventLogTest::Lines(const std::string& relative) const {
  std::vector<std::string> lines;
  std::ifstream in(sandbox_.Path(relative));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

HistoryEntry EventLogTest::Entry(std::size_t slot) const {
  HistoryEntry entry;
  std::memcpy(&entry, block_.data() + block::RingEntryOffset(slot), sizeof entry);
  return entry;
}

uint16_t EventLogTest::NextSlot() const { return block::LoadU16(block_.data(), block::kRingNextSlot); }
uint16_t EventLogTest::AppendCount() const {
  return block::LoadU16(block_.data(), block::kRingAppendCount);
}

void EventLogTest::StartReader(uint16_t size) {
  uint8_t structure[23] = {15, 23};
  structure[4] = uint8_t(size);
  structure[5] = uint8_t(size >> 8);
  structure[10] = 4;
  gEventLogReader.logDataSize = 0;
  SetUpEventLog(structure, sizeof structure);
}

void EventLogTest::StartTestLog(const std::string& contents) {
  sandbox_.WriteFile("var/lib/vigilagent/drive_c/test_log.csv", contents);
  gTestLog.Open();
  UseLogRecordSource(TestLogRecords());
}

}  // namespace vigil::test
