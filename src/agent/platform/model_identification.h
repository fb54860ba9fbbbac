// Server model identification from the SMBIOS product name.
#pragma once

#include <cstdint>

namespace vigil {

// 0 unidentified; 1 Kelvo A140/A141; 3 Kelvo B720; 4 Kelvo C850.
extern int32_t gModelIndex;

// Reads and parses the SMBIOS table, matches the product name, loads the model's event tables.
// True when a model was identified. Service thread, start-up.
bool IdentifyPlatformModel();

}  // namespace vigil
