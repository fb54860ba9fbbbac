// The agent main cycle: block, parameters, request channel, start-up, poll steps, teardown.
#pragma once

#include <cstdint>
#include "agent/state/agent_state.h"

namespace vigil {

constexpr uint32_t kPollIntervalMs = 6000;

// Runs until the stop event is set (or returns at once after a failed start-up). 0 when the
// agent started and ran until asked to stop, -1 when it had no block or its start-up failed.
int AgentMainCycle();
// 0 on success, -1 on failure (after its message box was dismissed).
int AgentStartUp();
// One poll step: the event log poll, then the shutdown trigger on what it saw.
void PollStep();
// Releases the private block, the driver handle and both request events. 0 when they were
// released; -1 when a thread still in use made it leave them to the end of the process.
int Teardown();

}  // namespace vigil
