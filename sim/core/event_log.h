// The BIOS event log of the simulated platform: records back to back from position 0, an
// identity (the first-record time) that changes when the log is cleared, and the answer to
// one LogReadRecord exchange.
#pragma once

#include <cstdint>

#include "core/core.h"

namespace hwsim {

enum class AppendResult { kOk, kBadLength, kLengthMismatch, kFull };

// Appends one record: its length must be 2..127 and equal the low seven bits of byte 1.
AppendResult AppendLogRecord(Core& core, const uint8_t* record, uint32_t length);
const char* DescribeAppendResult(AppendResult result);

// Empties the log under a new identity.
void ClearLog(Core& core, uint32_t firstRecordTime);

// Number of records in the log.
uint32_t CountLogRecords(const Core& core);

// Answers the LogReadRecord request in `record` (76 bytes) in place from the log held in
// `log` (`logLength` bytes, records back to back from position 0, each with a valid length
// byte): the whole records from the first record boundary at or after the requested position
// that fit in the requested room (at most 68 bytes), and `identity` as the first-record time.
// Every platform provider answers the exchange through this one function.
void AnswerLogReadFrom(const uint8_t* log, uint32_t logLength, uint32_t identity, uint8_t* record);

// The same over the simulated log. Consumes a pending malformed-record fault.
void AnswerLogRead(Core& core, uint8_t* record);

}  // namespace hwsim
