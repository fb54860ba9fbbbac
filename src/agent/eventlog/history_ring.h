// The 600-entry event history ring in the shared block.
#pragma once

#include <cstddef>

#include "agent/eventlog/decoded_event.h"

namespace vigil {

// Appends the event to gBlock; returns the block offset of the entry written (for seen1 and
// seen2, which it leaves 0). Returns 0 and writes nothing when there is no block. Service thread.
std::size_t AppendHistoryEntry(const DecodedEvent& event);
// Start-up reset: append count = 0, then next-slot index = 0.
void ResetHistoryRing();
// A cleared BIOS log: next-slot index = 0; the append count runs on. Service thread.
void RewindHistoryRing();

}  // namespace vigil
