// Test support: a client's view of the agent's shared block in the current sandbox.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vigil::test {

// Waits up to `timeout` for "DMFileMap" to exist at its full size and maps it; null on timeout.
// The view stays mapped for the rest of the test process.
uint8_t* WaitForAgentBlock(std::chrono::milliseconds timeout);

// Makes "DMFileMap" as a client would, `contents.size()` bytes holding `contents`, and holds it
// for the rest of the test process (a block no process holds would be started afresh). Returns
// the client's view, or null when it cannot be made.
uint8_t* HoldClientBlock(const std::string& contents);

}  // namespace vigil::test
