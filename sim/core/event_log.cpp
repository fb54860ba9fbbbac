#include "core/event_log.h"

#include <cstddef>

#include "contract/driver_protocol.h"
#include "contract/le_bytes.h"
#include "core/bytes.h"

namespace hwsim {

namespace {

using vigil::LogReadRecord;

constexpr uint32_t kTimeAt = offsetof(LogReadRecord, firstRecordTime);
constexpr uint32_t kPositionAt = offsetof(LogReadRecord, position);
constexpr uint32_t kLengthAt = offsetof(LogReadRecord, dataLength);
constexpr uint32_t kMoreAt = offsetof(LogReadRecord, moreRecords);
constexpr uint32_t kDataAt = offsetof(LogReadRecord, data);

uint32_t RecordLength(const uint8_t* log, uint32_t position) {
  return vigil::LogRecordLength(log + position);
}

// The first record boundary at or after `position` (the log's end when there is none).
uint32_t BoundaryAtOrAfter(const uint8_t* log, uint32_t logLength, uint32_t position) {
  uint32_t at = 0;
  while (at < logLength && at < position) at += RecordLength(log, at);
  return at < logLength ? at : logLength;
}

// Spoils the first record of an answer; with no record to spoil, a bare header stands in.
void Spoil(uint8_t* data, uint8_t* dataLength, Malformed kind) {
  if (*dataLength == 0) {
    FillBytes(data, 0, 8);
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
  CopyBytes(core.log + core.logLength, record, length);
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

void AnswerLogReadFrom(const uint8_t* log, uint32_t logLength, uint32_t identity, uint8_t* record) {
  uint32_t room = record[kLengthAt];
  if (room > vigil::kLogDataCapacity) room = vigil::kLogDataCapacity;
  // A request made for another log (cleared or replaced since) has no position in this one:
  // it is answered from the start, or the records logged after the clear and before the
  // requester's position would never reach it.
  const uint32_t from = vigil::le::Load32(record + kTimeAt) == identity ? vigil::le::Load16(record + kPositionAt) : 0;
  uint32_t first = BoundaryAtOrAfter(log, logLength, from);
  uint32_t end = first;
  while (end < logLength && RecordLength(log, end) <= room - (end - first)) {
    end += RecordLength(log, end);
  }
  uint8_t* data = record + kDataAt;
  FillBytes(data, 0, vigil::kLogDataCapacity);
  CopyBytes(data, log + first, end - first);
  vigil::le::Store32(record + kTimeAt, identity);
  vigil::le::Store16(record + kPositionAt, static_cast<uint16_t>(first));
  record[kLengthAt] = static_cast<uint8_t>(end - first);
  record[kMoreAt] = end < logLength ? 1 : 0;
}

void AnswerLogRead(Core& core, uint8_t* record) {
  AnswerLogReadFrom(core.log, core.logLength, core.firstRecordTime, record);
  if (core.malformed != Malformed::kNone) {
    Spoil(record + kDataAt, &record[kLengthAt], core.malformed);
    core.malformed = Malformed::kNone;
  }
}

}  // namespace hwsim
