// The 600-entry event history ring in the shared block.
#pragma once

#include <cstddef>

#include "contract/block_layout.h"

namespace vigil {

// Writes `entry` into the next slot of gBlock's ring, whole (its text's bytes after the NUL
// as 0), and returns that slot. Writes nothing, and returns 0, when there is no block.
// Service thread.
std::size_t AppendHistoryEntry(const HistoryEntry& entry);
// Start-up reset: append count = 0, then next-slot index = 0.
void ResetHistoryRing();
// A cleared BIOS log: next-slot index = 0; the append count runs on. Service thread.
void RewindHistoryRing();

}  // namespace vigil
