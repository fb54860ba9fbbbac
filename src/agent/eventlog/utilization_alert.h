// One driver alert (command 0x54) per rise of the log utilization above 90 %.
#pragma once

namespace vigil {

constexpr int kLogUtilizationThreshold = 90;
extern bool gUtilizationAlerted;

void CheckLogUtilization();

}  // namespace vigil
