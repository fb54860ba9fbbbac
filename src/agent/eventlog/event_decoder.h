// Decoding one SMBIOS event log record into a DecodedEvent.
#pragma once

#include <cstdint>
#include <ctime>

#include "agent/eventlog/decoded_event.h"
#include "agent/platform/model_identification.h"
#include "agent/state/agent_state.h"

namespace vigil {

// `record` has `length` readable bytes (bytes missing from a short record count as zero).
// Always produces an event. Returns whether it is a recent CPU over-temperature event (its time
// judged by IsRecentRecordTime), the one the protective shutdown acts on. No OS calls; service
// thread.
bool DecodeEventRecord(const uint8_t* record, uint32_t length, DecodedEvent* event);

// The memory-device map key under which a memory error record's handle finds its locator.
uint16_t MemoryLocatorKey(ModelIndex modelIndex, uint16_t handle);
// The event code of a POST error record: the lowest set bit of the first word, or 256 plus
// that of the second word when bit 24 of the first says the second is valid (no bit: +0).
uint32_t PostErrorCode(uint32_t firstWord, uint32_t secondWord);

}  // namespace vigil
