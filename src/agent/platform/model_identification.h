// Server model identification from the SMBIOS product name.
#pragma once

#include "smbios/known_models.h"

namespace vigil {

extern ModelIndex gModelIndex;

// Reads and parses the SMBIOS table, matches the product name, loads the model's event tables.
// True when a model was identified. Service thread, start-up.
bool IdentifyPlatformModel();

}  // namespace vigil
