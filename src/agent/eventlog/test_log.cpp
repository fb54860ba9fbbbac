#include "agent/eventlog/test_log.h"

#include <cctype>
#include <cstring>

#include "agent/eventlog/event_decoder.h"
#include "agent/eventlog/record_time.h"
#include "contract/driver_protocol.h"
#include "contract/le_bytes.h"
#include "contract/smbios_types.h"
#include "os/os.h"

namespace vigil {

namespace {

constexpr uint8_t kReplayedRecordLength = 16;
// The two words of variable data a line gives.
constexpr std::size_t kFirstWordOffset = smbios::kLogRecordDataField;
constexpr std::size_t kSecondWordOffset = kFirstWordOffset + 4;
constexpr const char* kBadLineCaption = "test_log.csv";

// A word too large for its 32 bits is all ones, as the scan into a 32-bit long always made it
// on Windows; the words are scanned 64 bits wide so that Linux, whose long is 64 bits, agrees
// instead of keeping the low half.
uint32_t RecordWord(unsigned long long scanned) {
  return scanned > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(scanned);
}

}  // namespace

TestLog::~TestLog() { Close(); }

void TestLog::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void TestLog::Reset() {
  Close();
  active_ = false;
  replayCounter_ = 0;
  line_ = 1;
}

void TestLog::Open() {
  Close();
  file_ = os::OpenFile(kTestLogPath, "r");
  active_ = file_ != nullptr;
  replayCounter_ = 0;
  line_ = 1;
}

void TestLog::SkipSpace() {
  int c;
  while ((c = std::getc(file_)) != EOF && std::isspace(c)) {
    if (c == '\n') ++line_;
  }
  if (c != EOF) std::ungetc(c, file_);
}

// Reads the "%x,%lx,%lx" form one conversion at a time, exactly as the one scan would (white space
// before each number, line breaks included, is skipped; each comma must follow its number),
// so that the line of a record that does not match can be told. Returns the number of
// numbers converted (EOF at the end of the file); `reason` says why fewer than two were.
int TestLog::ScanRecord(unsigned int* type, unsigned long long* first, unsigned long long* second,
                        const char** reason) {
  SkipSpace();
  const int typeRead = std::fscanf(file_, "%x", type);
  if (typeRead != 1) {
    *reason = "the record type is not a hexadecimal number";
    return typeRead;
  }
  int c = std::getc(file_);
  if (c != ',') {
    if (c != EOF) std::ungetc(c, file_);
    *reason = "no comma right after the record type";
    return 1;
  }
  SkipSpace();
  if (std::fscanf(file_, "%llx", first) != 1) {
    *reason = "the first data word is not a hexadecimal number";
    return 1;
  }
  c = std::getc(file_);
  if (c != ',') {
    if (c != EOF) std::ungetc(c, file_);
    return 2;
  }
  SkipSpace();
  return std::fscanf(file_, "%llx", second) == 1 ? 3 : 2;
}

bool TestLog::ReadRecord(LogReadRecord* record) {
  if (!active_ || file_ == nullptr) return false;
  unsigned int type = 0;
  unsigned long long first = 0;
  unsigned long long second = 0;
  const char* reason = "";
  const int converted = ScanRecord(&type, &first, &second, &reason);
  if (converted < 2) {
    // End of file or a line that does not match: the replay is over for this run. A tester
    // whose file stops early must learn where and why, not guess from missing events.
    if (converted != EOF) {
      char text[160];
      std::snprintf(text, sizeof text, "test_log.csv line %u: %s; the replay ends here", line_, reason);
      os::MessageBox(text, kBadLineCaption, os::kMbIconWarning);
    }
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
  LocalTimeToBcd(gNow(), record->data + smbios::kLogRecordTimeField);
  le::Store32(record->data + kFirstWordOffset, RecordWord(first));
  le::Store32(record->data + kSecondWordOffset, RecordWord(second));
  return true;
}

}  // namespace vigil
