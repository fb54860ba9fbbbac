// Agent, simulator and vigilctl in one sandbox, seen from the event log's side: the system
// event log lines, the history ring and the simulated BIOS log.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "agent/eventlog/decoded_event.h"
#include "support/agent_rig.h"

namespace vigil::test {

class EventLogSystem : public AgentRig {
 public:
  // Imports the model's event tables (fixtures/eventtables/<model>.reg) and starts hwgate-sim
  // on fixtures/scenarios/<scenario>; the agent is started by StartAgent.
  EventLogSystem(const std::string& scenario, const std::string& model);

  std::vector<std::string> EventLines() const;
  // Waits until the system event log has at least `count` lines.
  bool WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) const;
  uint16_t NextSlot() const;
  uint16_t AppendCount() const;
  HistoryEntry Entry(std::size_t slot) const;
};

// A record of `type` and `length` bytes (12 or more), stamped 2024-04-01 12:00:00, whose first
// variable word is `word`, as hex for "hwgate-sim ctl append-record".
std::string RecordHex(uint8_t type, uint8_t length, uint32_t word);

}  // namespace vigil::test
