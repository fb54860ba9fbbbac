#include "dmi_event_log.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "fixture_tree.h"
#include "smbios_bytes.h"

namespace hwlinux::testing {
namespace {

constexpr char kDir[] = "firmware/dmi/entries/15-0/system_event_log/";
constexpr uint32_t kDataStart = 16;
constexpr uint32_t kAreaLength = 256;

class NoHandles : public HandleLookup {
 public:
  int ProbeHandle(const std::string&, uint32_t) const override { return -1; }
  int MemoryDeviceHandle(uint32_t) const override { return -1; }
};

void WriteLog(const FixtureTree& tree, const Bytes& records, int method = 3, int status = 1, int token = 7) {
  Bytes area(kDataStart, 0);
  area.insert(area.end(), records.begin(), records.end());
  area.resize(kAreaLength, 0xFF);
  tree.Write(std::string(kDir) + "access_method", std::to_string(method) + "\n");
  tree.Write(std::string(kDir) + "status", std::to_string(status) + "\n");
  tree.Write(std::string(kDir) + "area_length", std::to_string(kAreaLength) + "\n");
  tree.Write(std::string(kDir) + "data_start_offset", std::to_string(kDataStart) + "\n");
  tree.Write(std::string(kDir) + "change_token", std::to_string(token) + "\n");
  tree.Write(std::string(kDir) + "raw_event_log", area);
}

TEST(DmiEventLog, ServesRecordsIntactAndInOrderUpToTheEnd) {
  Bytes first = LogRecord(0x17, 0x00), second = LogRecord(0x01, 0x05, {0x00, 0x11, 0, 0}, true);
  Bytes records = Join({first, second});
  FixtureTree tree;
  WriteLog(tree, records);
  std::string diagnosis;
  auto log = DmiEventLog::Open(SystemFiles(), tree.Root(), &diagnosis);
  ASSERT_NE(log, nullptr) << diagnosis;
  LogSnapshot snapshot;
  ASSERT_EQ(log->Refresh(NoHandles(), &snapshot), 0);
  EXPECT_EQ(snapshot.records, records);  // the read flag (0x80 in byte 1) kept, 0xFF tail ends it
  EXPECT_EQ(snapshot.areaLength, kAreaLength - kDataStart);
  EXPECT_NE(snapshot.identity, 0u);

  // A restarted provider sees the same identity; a new record leaves it as it was, though the
  // firmware reassigns its change token on every change.
  LogSnapshot again;
  WriteLog(tree, Join({records, LogRecord(0x10, 0x09, {4, 0, 0, 0})}), 3, 1, 8);
  ASSERT_EQ(DmiEventLog::Open(SystemFiles(), tree.Root(), &diagnosis)->Refresh(NoHandles(), &again), 0);
  EXPECT_EQ(again.identity, snapshot.identity);
  EXPECT_EQ(Bytes(again.records.begin(), again.records.begin() + static_cast<long>(records.size())), records);

  // A cleared log starts with its "log area reset" record: a new identity.
  LogSnapshot cleared;
  WriteLog(tree, LogRecord(0x16, 0x30), 3, 1, 9);
  ASSERT_EQ(log->Refresh(NoHandles(), &cleared), 0);
  EXPECT_NE(cleared.identity, snapshot.identity);
  EXPECT_EQ(cleared.records, LogRecord(0x16, 0x30));
}

// dmi-sysfs reads indexed I/O logs (methods 0-2) too; real Dell firmware uses method 2.
TEST(DmiEventLog, ServesLogsOnEveryMethodTheKernelReads) {
  for (int method : {0, 1, 2, 3}) {
    FixtureTree tree;
    WriteLog(tree, LogRecord(0x17, 0x00), method);
    std::string diagnosis;
    auto log = DmiEventLog::Open(SystemFiles(), tree.Root(), &diagnosis);
    ASSERT_NE(log, nullptr) << "method " << method << ": " << diagnosis;
    LogSnapshot snapshot;
    ASSERT_EQ(log->Refresh(NoHandles(), &snapshot), 0);
    EXPECT_EQ(snapshot.records, LogRecord(0x17, 0x00)) << "method " << method;
  }
}

TEST(DmiEventLog, RefusesLogsTheKernelCannotRead) {
  struct Case {
    const char* what;
    int method, status;
    const char* failing;  // file answering EIO, or ""
    const char* expected;
  };
  for (const Case& c : {Case{"GPNV log", 4, 1, "raw_event_log", "access method 4"},
                        Case{"invalid log", 3, 0, "", "not valid"},
                        Case{"kernel answers EIO", 3, 1, "raw_event_log", "Input/output error"},
                        Case{"short type-15 structure", 3, 1, "access_method", "too short"}}) {
    FixtureTree tree;
    WriteLog(tree, LogRecord(0x17, 0), c.method, c.status);
    FailingFiles files;
    if (*c.failing != '\0') files.Fail(c.failing, EIO);
    std::string diagnosis;
    EXPECT_EQ(DmiEventLog::Open(files, tree.Root(), &diagnosis), nullptr) << c.what;
    EXPECT_NE(diagnosis.find(c.expected), std::string::npos) << c.what << ": " << diagnosis;
  }
}

TEST(DmiEventLog, AFailingReadLaterKeepsTheSnapshot) {
  FixtureTree tree;
  WriteLog(tree, LogRecord(0x17, 0));
  FailingFiles files;
  std::string diagnosis;
  auto log = DmiEventLog::Open(files, tree.Root(), &diagnosis);
  ASSERT_NE(log, nullptr);
  LogSnapshot snapshot;
  ASSERT_EQ(log->Refresh(NoHandles(), &snapshot), 0);
  files.Fail("raw_event_log", EIO);
  LogSnapshot kept = snapshot;
  EXPECT_EQ(log->Refresh(NoHandles(), &snapshot), -1);
  EXPECT_EQ(snapshot.records, kept.records);
}

TEST(CollectLogRecords, EndsAtABrokenRecordAndSkipsOnesNoExchangeCarries) {
  struct Case {
    const char* what;
    Bytes area;
    Bytes expected;
    uint32_t skipped;
  };
  Bytes boot = LogRecord(0x17, 0);
  Bytes tooLong = LogRecord(0x80, 1, Bytes(70, 0xAB));  // 78 bytes: more than one exchange holds
  for (const Case& c : {Case{"short record ends the log", Join({boot, Bytes{0x01, 0x04, 0, 0}, boot}), boot, 0},
                        Case{"record past the area ends it", Join({boot, Bytes{0x01, 0x20, 0x24}}), boot, 0},
                        Case{"0xFF ends it", Join({boot, Bytes{0xFF, 0x08}, boot}), boot, 0},
                        Case{"oversized record skipped", Join({boot, tooLong, boot}), Join({boot, boot}), 1}}) {
    Bytes records;
    uint32_t skipped = 0;
    CollectLogRecords(c.area.data(), c.area.size(), &records, &skipped);
    EXPECT_EQ(records, c.expected) << c.what;
    EXPECT_EQ(skipped, c.skipped) << c.what;
  }
}

}  // namespace
}  // namespace hwlinux::testing
