// Replaying "c:\test_log.csv" in place of the BIOS event log.
#pragma once

#include <cstdio>

namespace vigil {

struct LogReadRecord;

constexpr const char* kTestLogPath = "c:\\test_log.csv";

class TestLog {
 public:
  TestLog();  // opens the file; active when that succeeded
  virtual ~TestLog();
  TestLog(const TestLog&) = delete;
  TestLog& operator=(const TestLog&) = delete;

  bool IsActive() const { return active_; }
  // Fills the record from the next line; false when nothing was produced.
  bool ReadRecord(LogReadRecord* record);

 private:
  std::FILE* file_ = nullptr;
  bool active_ = false;
};

extern TestLog gTestLog;

}  // namespace vigil
