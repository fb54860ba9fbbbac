#include "agent/eventlog/history_ring.h"

#include <cstring>

#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"

namespace vigil {

std::size_t AppendHistoryEntry(const DecodedEvent& event) {
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

  HistoryEntry entry;
  std::memset(&entry, 0, sizeof entry);
  entry.recordType = event.recordType;
  entry.time = event.time == -1 ? 0 : event.time;
  entry.generatorIdLow = event.generatorIdLow;
  entry.generatorIdHigh = event.generatorIdHigh;
  entry.evmRev = event.evmRev;
  entry.sensorType = event.sensorType;
  entry.sensorNumber = event.sensorNumber;
  entry.eventReadingType = event.eventReadingType;
  entry.eventData1 = event.eventData1;
  entry.eventData2 = event.eventData2;
  entry.eventData3 = event.eventData3;
  // Up to the NUL, which the last byte of the field always is, whatever the event holds.
  std::size_t n = 0;
  while (n < kEventTextSize - 1 && event.text[n] != '\0') ++n;
  std::memcpy(entry.text, event.text, n);
  entry.pet3 = event.pet3;
  entry.pet4 = event.pet4;

  const std::size_t offset = block::RingEntryOffset(slot);
  // The packed entry was zeroed whole, so this one copy also zeroes the rest of the slot.
  std::memcpy(b + offset, &entry, sizeof entry);
  return offset;
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
