// One driver alert (command 0x54) per rise of the log utilization above 90 %.
#pragma once
#include "agent/state/agent_state.h"

namespace vigil {

constexpr int kLogUtilizationThreshold = 90;

void CheckLogUtilization();

}  // namespace vigil
