// Event log, message boxes and the power-off record: the lines administrators and tests read.
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "os/os.h"
#include "os/posix/journal_sink.h"
#include "os/posix/syslog_sink.h"
#include "support/sandbox.h"

namespace {

using vigil::test::Sandbox;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(EventLog, ReportAppendsOneJsonLineWithTheMessageTableText) {
  Sandbox sandbox;
  os::Handle source = os::RegisterEventSource("Vigil Agent");
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(os::ReportEvent(source, os::kEventTypeWarning, 1, 100, "Fan \"A\" failed"));
  EXPECT_TRUE(os::ReportEvent(source, os::kEventTypeInformation, 1, 100, "Log cleared"));
  EXPECT_TRUE(os::ReportEvent(source, os::kEventTypeError, 2, 100, "line1\nline2"));
  os::DeregisterEventSource(source);
  EXPECT_EQ(Lines(sandbox.ReadFile("var/log/vigilagent/events.log")),
            (std::vector<std::string>{
                R"({"source":"Vigil Agent","eventId":100,"category":1,"type":"warning","message":"Fan \"A\" failed.",)"
                R"("MESSAGE":"Fan \"A\" failed.","PRIORITY":"4","SYSLOG_IDENTIFIER":"Vigil Agent"})",
                R"({"source":"Vigil Agent","eventId":100,"category":1,"type":"information","message":"Log cleared.",)"
                R"("MESSAGE":"Log cleared.","PRIORITY":"6","SYSLOG_IDENTIFIER":"Vigil Agent"})",
                R"({"source":"Vigil Agent","eventId":100,"category":2,"type":"error","message":"line1\nline2.",)"
                R"("MESSAGE":"line1\nline2.","PRIORITY":"3","SYSLOG_IDENTIFIER":"Vigil Agent"})"}));
}

TEST(EventLog, LinesOfOneHandleAreWrittenTogetherWhenItCloses) {
  Sandbox sandbox;
  os::Handle first = os::RegisterEventSource("Vigil Agent");
  os::Handle second = os::RegisterEventSource("Vigil Agent");
  EXPECT_TRUE(os::ReportEvent(first, os::kEventTypeWarning, 1, 100, "a"));
  EXPECT_TRUE(os::ReportEvent(first, os::kEventTypeWarning, 1, 100, "b"));
  EXPECT_TRUE(os::ReportEvent(second, os::kEventTypeWarning, 1, 100, "c"));
  EXPECT_FALSE(sandbox.Exists("var/log/vigilagent/events.log"));
  os::DeregisterEventSource(second);
  os::DeregisterEventSource(first);
  std::vector<std::string> messages;
  for (const std::string& line : Lines(sandbox.ReadFile("var/log/vigilagent/events.log"))) {
    messages.push_back(line.substr(line.find("\"message\":"), 14));
  }
  EXPECT_EQ(messages, (std::vector<std::string>{R"("message":"c.")", R"("message":"a.")", R"("message":"b.")"}));
}

// What the journal and syslog would have received, through the sinks' test seams.
std::vector<std::vector<os::posix::JournalField>> gJournalEntries;
bool gJournalRunning = true;
std::vector<std::string> gSyslogLines;

bool CaptureJournal(const std::vector<os::posix::JournalField>& fields) {
  if (!gJournalRunning) return false;
  gJournalEntries.push_back(fields);
  return true;
}
void CaptureSyslog(const std::string& ident, int priority, const std::string& text) {
  gSyslogLines.push_back(ident + "|" + std::to_string(priority) + "|" + text);
}

class JournalTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    gJournalEntries.clear();
    gSyslogLines.clear();
    gJournalRunning = GetParam();
    os::posix::SetJournalSender(CaptureJournal);
    os::posix::SetSyslogWriter(CaptureSyslog);
  }
  void TearDown() override {
    os::posix::SetJournalSender(nullptr);
    os::posix::SetSyslogWriter(nullptr);
  }
  Sandbox sandbox_;
};

TEST_P(JournalTest, FieldsGoToTheJournalOrThePlainLineToSyslogAndAlwaysToEventsLog) {
  os::Handle source = os::RegisterEventSource("Vigil Agent");
  const os::EventField fields[] = {{"MESSAGE_ID", "8d4c1a7e2b6f4f0a9c35e1d7b0a26f41"},
                                   {"VIGIL_LOCATOR", "DIMM \"A1\"\nx"},
                                   {"lower_case", "dropped"},
                                   {"_SYSTEMD_UNIT", "dropped"},
                                   {nullptr, "dropped"},
                                   {"VIGIL_EMPTY", nullptr}};
  EXPECT_TRUE(os::ReportEvent(source, os::kEventTypeWarning, 1, 100, "Memory error", fields, 6));
  os::DeregisterEventSource(source);

  const std::vector<os::posix::JournalField> expected = {
      {"MESSAGE", "Memory error."}, {"PRIORITY", "4"}, {"SYSLOG_IDENTIFIER", "Vigil Agent"},
      {"MESSAGE_ID", "8d4c1a7e2b6f4f0a9c35e1d7b0a26f41"}, {"VIGIL_LOCATOR", "DIMM \"A1\"\nx"}, {"VIGIL_EMPTY", ""}};
  if (GetParam()) {
    ASSERT_EQ(gJournalEntries.size(), 1u);
    ASSERT_EQ(gJournalEntries[0].size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(gJournalEntries[0][i].name, expected[i].name);
      EXPECT_EQ(gJournalEntries[0][i].value, expected[i].value);
    }
    EXPECT_TRUE(gSyslogLines.empty());  // the journal has it: no second copy
  } else {
    // No journal: the report is the syslog line it always was.
    EXPECT_TRUE(gJournalEntries.empty());
    EXPECT_EQ(gSyslogLines, (std::vector<std::string>{"Vigil Agent|4|Memory error."}));
  }
  const std::vector<std::string> lines = Lines(sandbox_.ReadFile("var/log/vigilagent/events.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with(R"("MESSAGE_ID":"8d4c1a7e2b6f4f0a9c35e1d7b0a26f41",)"
                                 R"("VIGIL_LOCATOR":"DIMM \"A1\"\nx","VIGIL_EMPTY":""})"))
      << lines[0];
}

INSTANTIATE_TEST_SUITE_P(JournalRunning, JournalTest, ::testing::Bool(),
    [](const auto& info) { return info.param ? "journal_running" : "no_journal"; });

TEST(EventLog, UnknownTypeOrHandleRecordsNothing) {
  Sandbox sandbox;
  os::Handle source = os::RegisterEventSource("Vigil Agent");
  EXPECT_FALSE(os::ReportEvent(source, 3, 1, 100, "x"));
  EXPECT_FALSE(os::ReportEvent(nullptr, os::kEventTypeWarning, 1, 100, "x"));
  os::DeregisterEventSource(source);
  EXPECT_EQ(os::RegisterEventSource(nullptr), nullptr);
  EXPECT_EQ(os::RegisterEventSource(""), nullptr);
  EXPECT_FALSE(sandbox.Exists("var/log/vigilagent/events.log"));
}

TEST(EventLog, ConcurrentReportersNeverInterleaveLines) {
  Sandbox sandbox;
  constexpr int kThreads = 4, kEach = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      os::Handle source = os::RegisterEventSource("Vigil Agent");
      std::string text(200 + t * 50, static_cast<char>('a' + t));
      for (int i = 0; i < kEach; ++i) {
        os::ReportEvent(source, os::kEventTypeWarning, 1, 100, text.c_str());
      }
      os::DeregisterEventSource(source);
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<std::string> lines = Lines(sandbox.ReadFile("var/log/vigilagent/events.log"));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kEach));
  std::regex whole(R"(^\{"source":"Vigil Agent",.*"message":"([a-d])\1*\.",.*"SYSLOG_IDENTIFIER":"Vigil Agent"\}$)");
  for (const std::string& line : lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
}

TEST(MessageBox, WritesOneLinePerBoxWithCaptionAndText) {
  Sandbox sandbox;
  os::MessageBox("Driver Initialization Error!", "HwGate", os::kMbIconError);
  os::MessageBox("two\nlines", "ERROR !!!", os::kMbIconWarning);
  os::MessageBox(nullptr, nullptr, os::kMbOk);
  EXPECT_EQ(Lines(sandbox.ReadFile("var/log/vigilagent/messages.log")),
            (std::vector<std::string>{"Vigilagent: HwGate: Driver Initialization Error!",
                                      "Vigilagent: ERROR !!!: two lines", "Vigilagent: : "}));
}

TEST(Shutdown, InsideASandboxOnlyRecordsTheRequest) {
  Sandbox sandbox;
  os::ShutdownSystem("CPU temperature is too high!");
  os::ShutdownSystem("again");
  std::vector<std::string> lines = Lines(sandbox.ReadFile("var/lib/vigilagent/poweroff.log"));
  ASSERT_EQ(lines.size(), 2u);
  std::regex stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ CPU temperature is too high!$)");
  EXPECT_TRUE(std::regex_match(lines[0], stamp)) << lines[0];
  EXPECT_TRUE(lines[1].ends_with(" again"));
}

}  // namespace
