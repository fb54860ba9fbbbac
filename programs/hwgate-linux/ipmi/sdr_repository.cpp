#include "ipmi/sdr_repository.h"

#include "ipmi/bmc_exchange.h"
#include "ipmi/ipmi_codes.h"

namespace hwlinux::ipmi {

namespace {

constexpr uint32_t kRecordLengthAt = 4;
// A record whose reservation is lost this many times in a row (the BMC keeps changing the
// repository) fails the read.
constexpr int kRecordAttempts = 3;
constexpr uint32_t kChainSlack = 16;
// Offsets are one byte: a body must end at or before offset 256.
constexpr uint32_t kMaxAddressable = 256;
// A BMC that cannot send this many records whole in a row is read in pieces from then on.
constexpr int kWholeRefusals = 2;

const char* Describe(RecordRead read) {
  switch (read) {
    case RecordRead::kOk: return "ok";
    case RecordRead::kNotPresent: return "record not present";
    case RecordRead::kReservationLost: return "reservation lost again and again";
    case RecordRead::kFailed: return "no usable answer";
  }
  return "failed";
}

}  // namespace

int ReadSdrRepository(RecordReader& reader, uint32_t maxRecords,
                      std::vector<std::vector<uint8_t>>* records, std::string* problem) {
  records->clear();
  uint32_t budget = maxRecords + kChainSlack;
  uint16_t id = kFirstRecordId;
  int refusals = 0;
  while (id != kLastRecordId) {
    if (budget-- == 0) {
      *problem = "Get SDR: the next-record chain runs past the record count";
      return -1;
    }
    uint8_t record[kSdrMaxRecordSize];
    uint16_t next = kLastRecordId;
    RecordRead read = RecordRead::kReservationLost;
    uint32_t size = 0;
    if (refusals < kWholeRefusals) {
      const RecordRead whole = reader.ReadEntire(id, sizeof record, record, &size, &next);
      if (whole == RecordRead::kOk && size >= kSdrHeaderSize && size == kSdrHeaderSize + record[kRecordLengthAt]) {
        read = RecordRead::kOk;
        refusals = 0;
      } else if (whole == RecordRead::kNotPresent) {
        read = whole;
      } else if (reader.lastCompletionCode() == kCcCannotReturnBytes) {
        ++refusals;
      }
    }
    for (int attempt = 0; attempt < kRecordAttempts && read == RecordRead::kReservationLost;
         ++attempt) {
      read = reader.ReadPart(id, 0, kSdrHeaderSize, record, &next);
      if (read != RecordRead::kOk) continue;
      size = kSdrHeaderSize + record[kRecordLengthAt];
      if (size > kMaxAddressable) break;
      read = reader.ReadPart(id, kSdrHeaderSize, size - kSdrHeaderSize, record + kSdrHeaderSize,
                             &next);
    }
    if (read == RecordRead::kNotPresent && id == kFirstRecordId) return 0;  // empty
    if (read != RecordRead::kOk) {
      *problem = "Get SDR " + std::to_string(id) + ": " + Describe(read);
      return -1;
    }
    if (size <= kMaxAddressable) records->emplace_back(record, record + size);
    if (next == id) break;
    id = next;
  }
  return 0;
}

}  // namespace hwlinux::ipmi
