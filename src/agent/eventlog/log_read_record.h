// LogReadRecord: the 76-byte request/response buffer of one event log read exchange.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vigil {

constexpr uint8_t kLogDataCapacity = 68;

#pragma pack(push, 1)
struct LogReadRecord {
  uint32_t firstRecordTime;
  uint16_t position;
  uint8_t dataLength;
  uint8_t moreRecords;
  uint8_t data[kLogDataCapacity];
};
#pragma pack(pop)

static_assert(sizeof(LogReadRecord) == 76, "LogReadRecord size");
static_assert(offsetof(LogReadRecord, position) == 4 && offsetof(LogReadRecord, dataLength) == 6 &&
              offsetof(LogReadRecord, moreRecords) == 7 && offsetof(LogReadRecord, data) == 8,
              "LogReadRecord layout");

}  // namespace vigil
