// The event history ring as a client reads it: which slots hold this run's entries, in order,
// and how each is shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "contract/block_layout.h"

namespace vigilctl {

struct EventRow {
  std::size_t slot;
  vigil::HistoryEntry entry;  // a copy taken at once: the agent may rewrite the slot
};

// The ring counters as read from the block, index bounded to 0..600.
struct RingCounters {
  uint16_t nextSlot;
  uint16_t appendCount;
};
RingCounters ReadRingCounters(const uint8_t* block);

// Slots in order from oldest to newest. Without `all`: the entries written since the agent
// started (a cleared BIOS log's older entries first, then the new log's from slot 0); with
// `all`: every slot that has ever been written, this run's or an earlier one's.
std::vector<std::size_t> RingOrder(const RingCounters& counters, bool all);
// The slots that `counters` added after `previous`, oldest first (at most 600).
std::vector<std::size_t> NewSlots(const RingCounters& previous, const RingCounters& counters);

std::vector<EventRow> ReadEventRows(const uint8_t* block, const std::vector<std::size_t>& slots);
// One slot (below kRingSlots), copied at once.
EventRow ReadEventRow(const uint8_t* block, std::size_t slot);

// IPMI sensor type name of an event ("Temperature", "System Event", "OEM", ...).
const char* EventTypeName(uint8_t sensorType);
// Local time, ISO 8601 with offset ("2004-03-15T10:20:30+01:00"); "" for time 0 (unknown).
std::string LocalIsoTime(int32_t time);
// Neither seen flag set: the agent reported the entry as new.
bool IsNewEntry(const vigil::HistoryEntry& entry);
// Up to the NUL or the end of the field.
std::string EntryText(const vigil::HistoryEntry& entry);

// Text from the block or the firmware for a terminal: control characters shown as '?'.
std::string Printable(const std::string& text);

std::string EventLineText(const EventRow& row);
std::string EventJson(const EventRow& row);

}  // namespace vigilctl
