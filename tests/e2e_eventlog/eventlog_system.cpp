#include "eventlog_system.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "contract/block_access.h"
#include "contract/block_layout.h"

namespace vigil::test {

EventLogSystem::EventLogSystem(const std::string& scenario, const std::string& model) {
  ImportEventTables(model);
  StartSimulator(scenario);
}

std::vector<std::string> EventLogSystem::EventLines() const {
  std::vector<std::string> lines;
  std::ifstream in(sandbox().Path("var/log/vigilagent/events.log"));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

bool EventLogSystem::WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return EventLines().size() >= count; }, timeout);
}

uint16_t EventLogSystem::NextSlot() const { return block::LoadU16(block(), block::kRingNextSlot); }
uint16_t EventLogSystem::AppendCount() const { return block::LoadU16(block(), block::kRingAppendCount); }

HistoryEntry EventLogSystem::Entry(std::size_t slot) const {
  HistoryEntry entry;
  std::memcpy(&entry, block() + block::RingEntryOffset(slot), sizeof entry);
  return entry;
}

std::string RecordHex(uint8_t type, uint8_t length, uint32_t word) {
  std::vector<uint8_t> bytes(length, 0);
  const uint8_t head[] = {type, length, 0x24, 0x04, 0x01, 0x12, 0x00, 0x00};
  std::memcpy(bytes.data(), head, sizeof head);
  for (int i = 0; i < 4; ++i) bytes[8 + i] = uint8_t(word >> (8 * i));
  std::string hex;
  for (uint8_t b : bytes) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", b);
    hex += two;
  }
  return hex;
}

}  // namespace vigil::test
