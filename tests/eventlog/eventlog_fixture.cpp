#include "eventlog_fixture.h"

#include <stdlib.h>
#include <time.h>

#include <cstring>

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

void WriteString(const std::string& path, const char* name, const char* text) {
  os::RegHandle key = nullptr;
  ASSERT_EQ(os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
  os::RegSetValue(key, name, os::kRegSz, text, uint32_t(std::strlen(text) + 1));
  os::RegCloseKey(key);
}

// The test model's tables in the registry, loaded as the start-up loads a model's.
void LoadTestEventTable() {
  const std::string base = kParametersBasePath;
  for (const TableValue& v : kTable) {
    WriteString(base + kEventStringTableName + kTestModel, v.key, v.text);
    if (v.pet) WriteString(base + kEventPetTableName + kTestModel, v.key, v.pet);
  }
  gEventTable.Load(kParametersBasePath, kTestModel);
}

}  // namespace

void UseTimeZone(const char* tz) {
#ifdef _WIN32
  _putenv(("TZ=" + std::string(tz)).c_str());  // the C runtime keeps a copy
  _tzset();
#else
  setenv("TZ", tz, 1);
  tzset();
#endif
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
  LoadTestEventTable();
  block_.assign(block::kSize, 0);
  gBlock = block_.data();
}

std::vector<std::string> EventLogTest::EventLines() const {
  std::vector<std::string> lines;
  for (const auto& report : os::memory::ReportedEvents()) {
    const char* type = report.type == os::kEventTypeError     ? "error"
                       : report.type == os::kEventTypeWarning ? "warning"
                                                              : "information";
    std::string line = "{\"source\":\"" + report.source + "\",\"eventId\":" + std::to_string(report.eventId) +
                       ",\"category\":" + std::to_string(report.category) + ",\"type\":\"" + type +
                       "\",\"message\":\"" + report.text + "\"";
    for (const auto& [name, value] : report.fields) line += ",\"" + name + "\":\"" + value + "\"";
    lines.push_back(line + "}");
  }
  return lines;
}

std::vector<std::string> EventLogTest::MessageLines() const {
  std::vector<std::string> lines;
  const auto boxes = os::memory::MessageBoxes();
  for (std::size_t i = messagesForgotten_; i < boxes.size(); ++i) lines.push_back(boxes[i].caption + ": " + boxes[i].text);
  return lines;
}

std::vector<std::string> EventLogTest::PowerOffLines() const { return os::memory::ShutdownRequests(); }

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
  ASSERT_TRUE(os::memory::PutFile(kTestLogPath, contents));
  gTestLog.Open();
  UseLogRecordSource(TestLogRecords());
}

}  // namespace vigil::test
