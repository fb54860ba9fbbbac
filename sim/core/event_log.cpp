#include "core/event_log.h"

#include <cstddef>

#include "contract/driver_protocol.h"
#include "provider/bytes.h"

namespace hwsim {

namespace {

constexpr uint32_t kLengthAt = offsetof(vigil::LogReadRecord, dataLength);
constexpr uint32_t kDataAt = offsetof(vigil::LogReadRecord, data);

uint32_t RecordLength(const uint8_t* log, uint32_t position) {
  return vigil::LogRecordLength(log + position);
}

// Spoils the first record of an answer; with no record to spoil, a bare header stands in.
void Spoil(uint8_t* data, uint8_t* dataLength, Malformed kind) {
  if (*dataLength == 0) {
    hwgate::FillBytes(data, 0, 8);
    data[0] = 0x10;
    data[1] = 8;
    *dataLength = 8;
  }
  if (kind == Malformed::kZeroLength) {
    data[1] &= static_cast<uint8_t>(~vigil::kLogRecordLengthMask);
  } else {
    data[1] |= vigil::kLogRecordLengthMask;  // 127 bytes: more than any answer holds
  }
}

}  // namespace

AppendResult AppendLogRecord(Core& core, const uint8_t* record, uint32_t length) {
  if (length < kMinRecordLength || length > kMaxRecordLength) return AppendResult::kBadLength;
  if (vigil::LogRecordLength(record) != length) return AppendResult::kLengthMismatch;
  if (length > core.logCapacity - core.logLength) return AppendResult::kFull;
  hwgate::CopyBytes(core.log + core.logLength, record, length);
  core.logLength += length;
  return AppendResult::kOk;
}

const char* DescribeAppendResult(AppendResult result) {
  switch (result) {
    case AppendResult::kOk: return "ok";
    case AppendResult::kBadLength: return "a record is 2 to 68 bytes long (one exchange must hold it)";
    case AppendResult::kLengthMismatch: return "the length byte (byte 1, low 7 bits) does not match the record's size";
    case AppendResult::kFull: return "the log area is full";
  }
  return "unknown";
}

void ClearLog(Core& core, uint32_t firstRecordTime) {
  core.logLength = 0;
  core.firstRecordTime = firstRecordTime;
}

uint32_t CountLogRecords(const Core& core) {
  uint32_t count = 0;
  for (uint32_t at = 0; at < core.logLength; at += RecordLength(core.log, at)) ++count;
  return count;
}

void SpoilLogAnswer(Core& core, uint8_t* record) {
  if (core.malformed == Malformed::kNone) return;
  Spoil(record + kDataAt, &record[kLengthAt], core.malformed);
  core.malformed = Malformed::kNone;
}

}  // namespace hwsim
