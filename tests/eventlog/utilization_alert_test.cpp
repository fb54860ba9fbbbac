#include <string>
#include <vector>

#include "agent/eventlog/event_log_reader.h"
#include "agent/eventlog/utilization_alert.h"
#include "eventlog_fixture.h"

namespace vigil::test {
namespace {

struct AlertCase {
  const char* name;
  std::vector<int32_t> utilizations;
  int commands;
};

class UtilizationAlertTest : public EventLogTest {
 protected:
  FakeLogDevice device_;
};

TEST_F(UtilizationAlertTest, OneCommandPerRiseAboveTheThreshold) {
  const AlertCase cases[] = {
      {"91 twice", {91, 91}, 1},
      {"95 80 95", {95, 80, 95}, 2},
      {"exactly 90", {90, 90}, 0},
      {"91 90 91", {91, 90, 91}, 2},
      {"over 100", {250, 99}, 1},
      {"negative", {-5, 0}, 0},
  };
  for (const AlertCase& c : cases) {
    gUtilizationAlerted = false;
    device_.alertCommands_ = 0;
    gEventLogReader.logDataSize = 4096;
    for (int32_t u : c.utilizations) {
      gEventLogReader.logUtilization = u;
      CheckLogUtilization();
    }
    EXPECT_EQ(device_.alertCommands_, c.commands) << c.name;
  }
}

TEST_F(UtilizationAlertTest, AlertAlsoWritesTheFilledTextToTheSystemEventLog) {
  gEventLogReader.logDataSize = 4096;
  gEventLogReader.logUtilization = 95;
  CheckLogUtilization();
  CheckLogUtilization();
  const auto lines = EventLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("BIOS Event Log Utilization 95% exceeds threshold 90%"), std::string::npos);
  EXPECT_NE(lines[0].find("warning"), std::string::npos);
}

TEST_F(UtilizationAlertTest, NoLogNeverAlertsAndKeepsTheFlag) {
  gEventLogReader.logDataSize = 0;
  gEventLogReader.logUtilization = 99;
  CheckLogUtilization();
  EXPECT_EQ(device_.alertCommands_, 0);
  EXPECT_FALSE(gUtilizationAlerted);
  gUtilizationAlerted = true;
  gEventLogReader.logUtilization = 10;
  CheckLogUtilization();
  EXPECT_TRUE(gUtilizationAlerted);
}

TEST_F(UtilizationAlertTest, AFailedCommandStillSetsTheFlag) {
  device_.failCommands_ = true;
  gEventLogReader.logDataSize = 4096;
  gEventLogReader.logUtilization = 95;
  CheckLogUtilization();
  CheckLogUtilization();
  EXPECT_TRUE(gUtilizationAlerted);
  EXPECT_EQ(device_.alertCommands_, 1);
}

}  // namespace
}  // namespace vigil::test
