// The agent main cycle: block, parameters, request channel, start-up, poll steps, teardown.
#pragma once

#include <cstdint>

namespace vigil {

constexpr uint32_t kPollIntervalMs = 6000;
// The wait between poll steps; kPollIntervalMs in the product, shortened by tests.
extern uint32_t gPollIntervalMs;

// Runs until the stop event is set (or returns at once after a failed start-up). Returns 0.
int AgentMainCycle();
// 0 on success, -1 on failure (after its message box was dismissed).
int AgentStartUp();
// One poll step: the event log poll, then the shutdown trigger on what it saw. Returns 0.
int PollStep();
// Releases the private block, the driver handle and both request events. Returns 0.
int Teardown();

}  // namespace vigil
