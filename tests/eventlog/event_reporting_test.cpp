#include <string>
#include <vector>

#include "contract/registry_paths.h"
#include "agent/eventlog/event_reporting.h"
#include "eventlog_fixture.h"
#include "os/os.h"

namespace vigil::test {
namespace {

class ReportingTest : public EventLogTest {
 protected:
  struct Value {
    std::string name;
    uint32_t type;
    std::vector<uint8_t> data;
  };
  std::vector<Value> SourceValues() {
    std::vector<Value> values;
    os::RegHandle key = nullptr;
    if (os::RegOpenKey(kEventSourceKey, os::kKeyRead, &key) != os::kErrorSuccess) return values;
    for (uint32_t i = 0;; ++i) {
      char name[260];
      uint32_t nameCap = sizeof name;
      uint32_t type = 0;
      std::vector<uint8_t> data(600);
      uint32_t size = uint32_t(data.size());
      if (os::RegEnumValue(key, i, name, &nameCap, &type, data.data(), &size) != os::kErrorSuccess) break;
      data.resize(size);
      values.push_back({std::string(name, nameCap), type, data});
    }
    os::RegCloseKey(key);
    return values;
  }
};

TEST_F(ReportingTest, InstallWritesTheFiveValuesInOrder) {
  InstallEventSource();
  InstallEventSource();  // a second start rewrites the same values
  char path[260] = {};
  os::GetModuleFileName(path, sizeof path);
  const std::string expectedPath = std::string(path) + '\0';
  const auto values = SourceValues();
  ASSERT_EQ(values.size(), 5u);
  const char* names[] = {"TypesSupported", "EventMessageFile", "ParameterMessageFile",
                         "CategoryMessageFile", "CategoryCount"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(values[i].name, names[i]);
  EXPECT_EQ(values[0].type, os::kRegDword);
  EXPECT_EQ(values[0].data, (std::vector<uint8_t>{7, 0, 0, 0}));
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(values[i].type, os::kRegExpandSz);
    EXPECT_EQ(std::string(values[i].data.begin(), values[i].data.end()), expectedPath);
  }
  EXPECT_EQ(values[4].data, (std::vector<uint8_t>{2, 0, 0, 0}));
}

TEST_F(ReportingTest, EachReportIsOneLineWithTypeAndCategory) {
  ReportSystemEvent(kEventSourceName, "Memory error at DIMM_A1", os::kEventTypeWarning, 1);
  ReportSystemEvent(kEventSourceName, "Log area reset", os::kEventTypeInformation, 1);
  const auto lines = EventLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("\"eventId\":100"), std::string::npos);
  EXPECT_NE(lines[0].find("Vigil Agent"), std::string::npos);
  EXPECT_NE(lines[0].find("warning"), std::string::npos);
  EXPECT_NE(lines[0].find("Memory error at DIMM_A1"), std::string::npos);
  EXPECT_NE(lines[1].find("information"), std::string::npos);
}

}  // namespace
}  // namespace vigil::test
