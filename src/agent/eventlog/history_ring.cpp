#include "agent/eventlog/history_ring.h"

#include <cstring>

#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"

namespace vigil {

std::size_t AppendHistoryEntry(const HistoryEntry& entry) {
  uint8_t* b = gBlock;
  if (b == nullptr) return 0;
  // Counter first, then the index, then the entry: a client that sees the count move knows a
  // slot is being written and finds it through the index.
  block::StoreU16(b, block::kRingAppendCount, uint16_t(block::LoadU16(b, block::kRingAppendCount) + 1));
  // Any local process may write the index: anything out of range restarts the ring at slot 0
  // rather than sending the entry outside it.
  uint16_t slot = block::LoadU16(b, block::kRingNextSlot);
  if (slot >= block::kRingSlots) slot = 0;
  block::StoreU16(b, block::kRingNextSlot, uint16_t(slot + 1));

  // Clients read the text up to its NUL, and some compare whole entries: the field always ends
  // in a NUL and holds only zeros after the first one, whatever the caller left there.
  HistoryEntry stored = entry;
  const void* nul = std::memchr(entry.text, 0, kEventTextSize - 1);
  const std::size_t n = nul != nullptr ? std::size_t(static_cast<const char*>(nul) - entry.text) : kEventTextSize - 1;
  std::memset(stored.text + n, 0, kEventTextSize - n);
  std::memcpy(b + block::RingEntryOffset(slot), &stored, sizeof stored);
  return slot;
}

void ResetHistoryRing() {
  if (gBlock == nullptr) return;
  block::StoreU16(gBlock, block::kRingAppendCount, 0);
  block::StoreU16(gBlock, block::kRingNextSlot, 0);
}

void RewindHistoryRing() {
  if (gBlock == nullptr) return;
  block::StoreU16(gBlock, block::kRingNextSlot, 0);
}

}  // namespace vigil
