// Agent, simulator and vigilctl in one sandbox, seen from the event log's side: the system
// event log lines, the history ring and the simulated BIOS log.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "agent/eventlog/decoded_event.h"
#include "support/sandbox.h"

namespace vigil::test {

class EventLogSystem {
 public:
  // Starts hwgate-sim on fixtures/scenarios/<scenario> and imports the model's event tables
  // (fixtures/eventtables/<model>.reg); the agent is started by StartAgent.
  EventLogSystem(const std::string& scenario, const std::string& model);
  ~EventLogSystem();

  // Starts the agent and waits for its start-up; false when it did not come up.
  bool StartAgent();
  bool StopAgent();         // SIGTERM, waits for the exit
  void KillAgent();         // SIGKILL, waits for the exit
  Process& agent() { return *agent_; }

  std::vector<std::string> EventLines() const;
  // Waits until the system event log has at least `count` lines.
  bool WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) const;
  uint16_t NextSlot() const;
  uint16_t AppendCount() const;
  HistoryEntry Entry(std::size_t slot) const;

  RunResult Ctl(const std::vector<std::string>& args);
  long Stat(const std::string& name);
  RunResult Vigilctl(const std::vector<std::string>& args);

  const Sandbox& sandbox() const { return sandbox_; }

 private:
  Sandbox sandbox_;
  std::unique_ptr<Process> simulator_;
  std::unique_ptr<Process> agent_;
  uint8_t* block_ = nullptr;
};

// A record of `type` and `length` bytes (12 or more), stamped 2024-04-01 12:00:00, whose first
// variable word is `word`, as hex for "hwgate-sim ctl append-record".
std::string RecordHex(uint8_t type, uint8_t length, uint32_t word);

}  // namespace vigil::test
