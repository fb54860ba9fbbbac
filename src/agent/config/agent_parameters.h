// The two agent parameters: "CPUOverTempShoutdown" and "ClearEventLog_Enabled".
#pragma once

namespace vigil {

// Registry -> block. Service thread at start, main thread on control code 128.
void LoadAgentParameters();
// Block -> registry. Request thread on request code 9.
void SaveAgentParameters();

}  // namespace vigil
