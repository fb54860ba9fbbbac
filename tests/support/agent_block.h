// Test support: a client's view of the agent's shared block in the current sandbox.
#pragma once

#include <chrono>
#include <cstdint>

namespace vigil::test {

// Waits up to `timeout` for "DMFileMap" to exist at its full size and maps it; null on timeout.
// The view stays mapped for the rest of the test process.
uint8_t* WaitForAgentBlock(std::chrono::milliseconds timeout);

}  // namespace vigil::test
