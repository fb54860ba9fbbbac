// Test support: the unit tests' machine is the in-memory port (os/memory/memory_port.h). A
// MemoryMachine member gives each test a fresh machine and a fresh agent (every process-global
// object as at process start, ResetAgentState) and leaves neither to the next test.
#pragma once

#include "agent/state/agent_state.h"
#include "os/memory/memory_port.h"

namespace vigil::test {

class MemoryMachine {
 public:
  // The agent first: what it still holds (a registry key, the test log file) is let go while
  // the machine it came from still exists.
  MemoryMachine() { Fresh(); }
  ~MemoryMachine() { Fresh(); }
  MemoryMachine(const MemoryMachine&) = delete;
  MemoryMachine& operator=(const MemoryMachine&) = delete;

 private:
  static void Fresh() {
    ResetAgentState();
    os::memory::Reset();
  }
};

}  // namespace vigil::test
