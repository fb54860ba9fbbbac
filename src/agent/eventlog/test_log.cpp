#include "agent/eventlog/test_log.h"

#include <cstring>

#include "agent/eventlog/event_decoder.h"
#include "contract/driver_protocol.h"
#include "agent/eventlog/record_time.h"
#include "os/os.h"

namespace vigil {

TestLog gTestLog;

namespace {

constexpr uint8_t kReplayedRecordLength = 16;

void StoreWord(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(value >> (8 * i));
}

}  // namespace

TestLog::TestLog() { Reopen(); }

TestLog::~TestLog() { Close(); }

void TestLog::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void TestLog::Reopen() {
  Close();
  file_ = os::OpenFile(kTestLogPath, "r");
  active_ = file_ != nullptr;
  replayCounter_ = 0;
}

bool TestLog::ReadRecord(LogReadRecord* record) {
  if (!active_ || file_ == nullptr) return false;
  unsigned int type = 0;
  // `long` is 32 bits on Windows and 64 on Linux: the record words take the low 32 bits.
  unsigned long first = 0;
  unsigned long second = 0;
  const int converted = std::fscanf(file_, "%x,%lx,%lx", &type, &first, &second);
  if (converted < 2) {
    // End of file or a line that does not match: the replay is over for this run.
    Close();
    record->moreRecords = 0;
    return false;
  }
  if (converted == 2) second = 0;  // a line with two numbers leaves the second word 0

  record->moreRecords = 1;
  record->firstRecordTime = 0;
  record->dataLength = kReplayedRecordLength;
  record->position = uint16_t(replayCounter_);
  ++replayCounter_;
  std::memset(record->data, 0, sizeof record->data);
  record->data[0] = uint8_t(type);
  record->data[1] = kReplayedRecordLength;
  // Stamped now, so that an over-temperature line counts as recent and drives the shutdown.
  LocalTimeToBcd(gNow(), record->data + 2);
  StoreWord(record->data + 8, uint32_t(first));
  StoreWord(record->data + 12, uint32_t(second));
  return true;
}

}  // namespace vigil
