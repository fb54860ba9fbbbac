// The server as the platform driver's SMBIOS table names it, and the model the agent recognises
// in it, for clients that name the server (vigil_agent_info, vigilctl status). The block holds
// neither: they come from the SMBIOS table the platform driver gives.
#pragma once

#include <cstdint>
#include <string>

namespace vigilctl {

struct PlatformIdentity {
  std::string model;         // the known model ("Kelvo B720"), "" for any other server
  std::string manufacturer;  // the system information strings, as the table holds them
  std::string product;
  uint16_t logDataSize = 0;  // the BIOS event log's data area (log_utilization.h); 0: none
};

// The identity that the 8192-byte SMBIOS table buffer gives; all "" when it holds no table.
// Bounded; no OS calls.
PlatformIdentity IdentityFromSmbiosTable(const uint8_t* buffer);

// Reads the table through \\.\HwGate (opened, read once, closed) into *identity, with the
// event log's data area size. False, *identity untouched, when the driver cannot be reached or
// refuses the read. Any thread.
bool ReadPlatformIdentity(PlatformIdentity* identity);

// Whether the agent of this machine describes its server with the generic event set: the
// server is no known model and the registry holds the set, the two things the agent decides by
// at its start. False for a known model; *known false when the registry could not be read.
bool GenericSetInUse(const PlatformIdentity& identity, bool* known);

}  // namespace vigilctl
