// The BIOS event log of the simulated platform: records back to back from position 0, and an
// identity (the first-record time) that changes when the log is cleared. The provider answers
// log reads from it (provider/log_answer.h).
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

// Spoils the answered LogReadRecord in `record` as a pending malformed-record fault asks, and
// consumes the fault; does nothing when none is pending.
void SpoilLogAnswer(Core& core, uint8_t* record);

}  // namespace hwsim
