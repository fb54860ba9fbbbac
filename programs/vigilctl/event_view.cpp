#include "event_view.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "text/json_string.h"

namespace vigilctl {

namespace b = vigil::block;

RingCounters ReadRingCounters(const uint8_t* block) {
  RingCounters c{b::LoadU16(block, b::kRingNextSlot), b::LoadU16(block, b::kRingAppendCount)};
  // Any process may write the block: an index past the ring means "next append at slot 0".
  if (c.nextSlot > b::kRingSlots) c.nextSlot = uint16_t(b::kRingSlots);
  return c;
}

std::vector<std::size_t> RingOrder(const RingCounters& c, bool all) {
  const std::size_t index = c.nextSlot;
  // Slots written since the start: the count says how many, unless it is below the index,
  // which only a count that wrapped past 65535 (a full ring) leaves behind.
  std::size_t used = b::kRingSlots;
  if (!all && c.appendCount < b::kRingSlots && c.appendCount >= index) used = c.appendCount;
  std::vector<std::size_t> slots;
  for (std::size_t s = index; s < used; ++s) slots.push_back(s);
  for (std::size_t s = 0; s < index; ++s) slots.push_back(s);
  return slots;
}

std::vector<std::size_t> NewSlots(const RingCounters& previous, const RingCounters& c) {
  std::size_t added = uint16_t(c.appendCount - previous.appendCount);
  if (added > b::kRingSlots) added = b::kRingSlots;
  std::vector<std::size_t> slots;
  if (added == 0) return slots;
  const std::size_t index = c.nextSlot;
  const std::size_t expected = (previous.nextSlot % b::kRingSlots + added - 1) % b::kRingSlots + 1;
  if (expected == index || (added == b::kRingSlots)) {
    // No cleared log in between: the newest `added` slots, wrapping backwards.
    for (std::size_t k = added; k > 0; --k) slots.push_back((index + b::kRingSlots * 2 - k) % b::kRingSlots);
    return slots;
  }
  // The agent rewound the ring for a cleared log: what came before the rewind went on from
  // the old index, the rest from slot 0.
  const std::size_t beforeRewind = added > index ? added - index : 0;
  for (std::size_t k = 0; k < beforeRewind; ++k) slots.push_back((previous.nextSlot + k) % b::kRingSlots);
  for (std::size_t s = 0; s < index && s < added; ++s) slots.push_back(s);
  return slots;
}

EventRow ReadEventRow(const uint8_t* block, std::size_t slot) {
  EventRow row{slot, {}};
  std::memcpy(&row.entry, block + b::RingEntryOffset(slot), sizeof row.entry);
  return row;
}

std::vector<EventRow> ReadEventRows(const uint8_t* block, const std::vector<std::size_t>& slots) {
  std::vector<EventRow> rows;
  rows.reserve(slots.size());
  for (std::size_t slot : slots) {
    if (slot < b::kRingSlots) rows.push_back(ReadEventRow(block, slot));
  }
  return rows;
}

const char* EventTypeName(uint8_t type) {
  static const char* const kNames[] = {
      "Reserved", "Temperature", "Voltage", "Current", "Fan", "Physical Security",
      "Platform Security", "Processor", "Power Supply", "Power Unit", "Cooling Device",
      "Other Units-based Sensor", "Memory", "Drive Slot", "POST Memory Resize",
      "System Firmware Progress", "Event Logging Disabled", "Watchdog 1", "System Event",
      "Critical Interrupt", "Button/Switch", "Module/Board", "Microcontroller/Coprocessor",
      "Add-in Card", "Chassis", "Chip Set", "Other FRU", "Cable/Interconnect", "Terminator",
      "System Boot Initiated", "Boot Error", "OS Boot", "OS Critical Stop", "Slot/Connector",
      "System ACPI Power State", "Watchdog 2", "Platform Alert", "Entity Presence",
      "Monitor ASIC/IC", "LAN", "Management Subsystem Health", "Battery", "Session Audit",
      "Version Change", "FRU State"};
  if (type < sizeof kNames / sizeof kNames[0]) return kNames[type];
  return type >= 0xC0 ? "OEM" : "Reserved";
}

std::string LocalIsoTime(int32_t time) {
  if (time == 0) return "";
  const std::time_t t = time;
  const std::tm* local = std::localtime(&t);
  if (local == nullptr) return "";
  char text[40];
  char offset[8];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", local) == 0) return "";
  if (std::strftime(offset, sizeof offset, "%z", local) == 5) {
    // +hhmm -> +hh:mm, the extended form that goes with the rest of the stamp.
    const std::string zone(offset);
    return std::string(text) + zone.substr(0, 3) + ":" + zone.substr(3);
  }
  return text;
}

std::string EntryText(const vigil::HistoryEntry& entry) {
  return std::string(entry.text, strnlen(entry.text, sizeof entry.text));
}

bool IsNewEntry(const vigil::HistoryEntry& e) { return e.seen1 == 0 && e.seen2 == 0; }

std::string Printable(const std::string& text) {
  std::string out;
  for (char ch : text) out.push_back(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F ? '?' : ch);
  return out;
}

std::string EventLineText(const EventRow& row) {
  const vigil::HistoryEntry& e = row.entry;
  const std::string time = LocalIsoTime(e.time);
  char line[512];
  std::snprintf(line, sizeof line, "%3zu  %-25s  %-5s  %-24s  %s\n", row.slot,
                time.empty() ? "-" : time.c_str(), IsNewEntry(e) ? "new" : "known",
                EventTypeName(e.sensorType), Printable(EntryText(e)).c_str());
  return line;
}

std::string EventJson(const EventRow& row) {
  const vigil::HistoryEntry& e = row.entry;
  const std::string time = LocalIsoTime(e.time);
  char numbers[512];
  std::snprintf(numbers, sizeof numbers,
                "\"slot\":%zu,\"epoch\":%d,\"recordType\":%u,\"generatorId\":[%u,%u],\"evmRev\":%u,"
                "\"sensorType\":%u,\"sensorNumber\":%u,\"eventReadingType\":%u,"
                "\"eventData\":[%u,%u,%u],\"pet3\":%u,\"pet4\":%u,\"seen1\":%u,\"seen2\":%u",
                row.slot, int(e.time), e.recordType, e.generatorIdLow, e.generatorIdHigh, e.evmRev,
                e.sensorType, e.sensorNumber, e.eventReadingType, e.eventData1, e.eventData2,
                e.eventData3, e.pet3, e.pet4, unsigned(e.seen1), unsigned(e.seen2));
  return std::string("{") + numbers + ",\"time\":" + (time.empty() ? "null" : vigil::text::JsonString(time)) +
         ",\"type\":" + vigil::text::JsonString(EventTypeName(e.sensorType)) +
         ",\"new\":" + (IsNewEntry(e) ? "true" : "false") + ",\"text\":" + vigil::text::JsonString(EntryText(e)) + "}";
}

}  // namespace vigilctl
