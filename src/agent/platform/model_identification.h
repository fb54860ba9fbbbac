// Server model identification from the SMBIOS product name.
#pragma once

#include "smbios/known_models.h"

namespace vigil {

extern ModelIndex gModelIndex;

// Reads and parses the SMBIOS table, matches the product name, loads the model's event tables.
// True when a model was identified. `tableParsed`, when given, tells whether the driver gave a
// table that rebuilt the inventory (false: no table was read, or one of layout kind 0, and the
// inventory holds what it held before). Service thread, start-up.
bool IdentifyPlatformModel(bool* tableParsed = nullptr);

}  // namespace vigil
