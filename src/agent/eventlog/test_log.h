// Replaying "c:\test_log.csv" in place of the BIOS event log.
#pragma once

#include <cstdint>
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
  // Fills the record from the next line; false when nothing was produced (then only
  // moreRecords is changed, to 0, and the file is closed for good; a line that does not
  // match is named with its number and the reason in a message box). Service thread.
  bool ReadRecord(LogReadRecord* record);

  // For tests and tools: closes the file and starts over as a freshly constructed object
  // would, under the VIGIL_ROOT of this moment (replay counter 0 again).
  void Reopen();

 private:
  void Close();
  void SkipSpace();
  int ScanRecord(unsigned int* type, unsigned long* first, unsigned long* second, const char** reason);

  std::FILE* file_ = nullptr;
  bool active_ = false;
  uint32_t replayCounter_ = 0;
  unsigned line_ = 1;  // line of the file that the next record starts on
};

extern TestLog gTestLog;

}  // namespace vigil
