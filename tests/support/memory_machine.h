// Test support: the unit tests' machine is the in-memory port (os/memory/memory_port.h). A
// MemoryMachine member gives each test a fresh one and leaves none of its state to the next.
#pragma once

#include "os/memory/memory_port.h"

namespace vigil::test {

class MemoryMachine {
 public:
  MemoryMachine() { os::memory::Reset(); }
  ~MemoryMachine() { os::memory::Reset(); }
  MemoryMachine(const MemoryMachine&) = delete;
  MemoryMachine& operator=(const MemoryMachine&) = delete;
};

}  // namespace vigil::test
