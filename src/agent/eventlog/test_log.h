// Replaying "c:\test_log.csv" in place of the BIOS event log.
#pragma once

#include <cstdint>
#include <cstdio>
#include "agent/state/agent_state.h"

namespace vigil {

struct LogReadRecord;

constexpr const char* kTestLogPath = "c:\\test_log.csv";

// Inactive until opened: the start-up opens it once, before it chooses where the event log
// reader takes its records from.
class TestLog {
 public:
  TestLog() = default;
  virtual ~TestLog();
  TestLog(const TestLog&) = delete;
  TestLog& operator=(const TestLog&) = delete;

  bool IsActive() const { return active_; }
  // Fills the record from the next line; false when nothing was produced (then only
  // moreRecords is changed, to 0, and the file is closed for good; a line that does not
  // match is named with its number and the reason in a message box). Service thread.
  bool ReadRecord(LogReadRecord* record);

  // Closes any file and opens c:\test_log.csv afresh (replay counter 0, line 1); active when
  // the file could be opened. Service thread, start-up (tests and tools at any time).
  void Open();
  // Closes any file and forgets the replay: inactive, as before the first Open().
  void Reset();

 private:
  void Close();
  void SkipSpace();
  int ScanRecord(unsigned int* type, unsigned long long* first, unsigned long long* second,
                 const char** reason);

  std::FILE* file_ = nullptr;
  bool active_ = false;
  uint32_t replayCounter_ = 0;
  unsigned line_ = 1;  // line of the file that the next record starts on
};

}  // namespace vigil
