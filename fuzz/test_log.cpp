// libFuzzer: arbitrary file contents through TestLog::ReadRecord until the replay ends.
// Every produced record must have its fixed shape; the replay must end (each record consumes
// input, so a hang is a fault).
#include <stdlib.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "agent/eventlog/event_decoder.h"
#include "contract/driver_protocol.h"
#include "agent/eventlog/test_log.h"

namespace {

std::string gFile;
std::time_t Clock() { return 1079346030; }

void SetUpOnce() {
  char dir[] = "/tmp/vigil-fuzz-testlog-XXXXXX";
  const std::string root = mkdtemp(dir);
  setenv("VIGIL_ROOT", root.c_str(), 1);
  setenv("TZ", "UTC0", 1);
  for (const char* sub : {"/var", "/var/lib", "/var/lib/vigilagent", "/var/lib/vigilagent/drive_c"}) {
    mkdir((root + sub).c_str(), 0755);
  }
  gFile = root + "/var/lib/vigilagent/drive_c/test_log.csv";
  vigil::gNow = Clock;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool once = (SetUpOnce(), true);
  (void)once;
  std::FILE* f = std::fopen(gFile.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  vigil::gTestLog.Open();
  vigil::LogReadRecord record;
  for (std::size_t produced = 0; produced <= size; ++produced) {
    std::memset(&record, 0xCD, sizeof record);
    if (!vigil::gTestLog.ReadRecord(&record)) {
      if (record.moreRecords != 0) __builtin_trap();
      return 0;
    }
    if (record.dataLength != 16 || record.moreRecords != 1 || record.data[1] != 16 ||
        record.firstRecordTime != 0 || record.position != uint16_t(produced)) {
      __builtin_trap();
    }
  }
  __builtin_trap();  // more records than the input has bytes
}
