// The server model, as the agent recognises it, for clients that name it (vigil_agent_info).
// The block holds no model: it comes from the SMBIOS table the platform driver gives.
#pragma once

#include <cstdint>
#include <string>

namespace vigilctl {

// The known model that the 8192-byte SMBIOS table buffer's product name names ("Kelvo B720"),
// or "" when it names none or the buffer holds no table. Bounded; no OS calls.
std::string ModelFromSmbiosTable(const uint8_t* buffer);

// Reads the table through \\.\HwGate (opened, read once, closed), names the model in *model
// ("" for an unknown one) and gives the BIOS event log's data area size in *logDataSize (0 for
// none, see log_utilization.h). False, both untouched, when the driver cannot be reached or
// refuses the read. Any thread.
bool ReadPlatformModel(std::string* model, uint16_t* logDataSize);

}  // namespace vigilctl
