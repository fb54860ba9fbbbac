// Decoding one SMBIOS event log record into a DecodedEvent.
#pragma once

#include <cstdint>
#include <ctime>

#include "eventlog/decoded_event.h"

namespace vigil {

// The current calendar time; replaced by tests.
extern std::time_t (*gNow)();

// `record` has `length` readable bytes (bytes missing from a short record count as zero).
void DecodeEventRecord(const uint8_t* record, uint32_t length, DecodedEvent* event);

}  // namespace vigil
