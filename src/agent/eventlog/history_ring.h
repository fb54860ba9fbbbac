// The 600-entry event history ring in the shared block.
#pragma once

#include "eventlog/decoded_event.h"

namespace vigil {

// Appends the event; returns the block offset of the entry written (for seen1/seen2).
std::size_t AppendHistoryEntry(const DecodedEvent& event);
// Start-up reset: append count = 0, then next-slot index = 0.
void ResetHistoryRing();

}  // namespace vigil
