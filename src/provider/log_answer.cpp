#include "provider/log_answer.h"

#include <cstddef>

#include "contract/driver_protocol.h"
#include "contract/le_bytes.h"
#include "provider/bytes.h"

namespace hwgate {

namespace {

using vigil::LogReadRecord;

constexpr uint32_t kTimeAt = offsetof(LogReadRecord, firstRecordTime);
constexpr uint32_t kPositionAt = offsetof(LogReadRecord, position);
constexpr uint32_t kLengthAt = offsetof(LogReadRecord, dataLength);
constexpr uint32_t kMoreAt = offsetof(LogReadRecord, moreRecords);
constexpr uint32_t kDataAt = offsetof(LogReadRecord, data);
// Log positions are 16-bit on the wire.
constexpr uint32_t kMaxLogBytes = 0xFFFF;

uint32_t RecordLength(const uint8_t* log, uint32_t position) {
  return vigil::LogRecordLength(log + position);
}

// The first record boundary at or after `position` (the log's end when there is none).
uint32_t BoundaryAtOrAfter(const uint8_t* log, uint32_t logLength, uint32_t position) {
  uint32_t at = 0;
  while (at < logLength && at < position) at += RecordLength(log, at);
  return at < logLength ? at : logLength;
}

}  // namespace

uint32_t ServableLogLength(const uint8_t* records, uint32_t length) {
  uint32_t at = 0;
  while (length - at >= 2) {
    const uint32_t record = RecordLength(records, at);
    if (record < 2 || record > vigil::kLogDataCapacity || record > length - at || at + record > kMaxLogBytes) break;
    at += record;
  }
  return at;
}

void AnswerLogReadFrom(const uint8_t* log, uint32_t logLength, uint32_t identity, uint8_t* record) {
  logLength = ServableLogLength(log, logLength);
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

}  // namespace hwgate
