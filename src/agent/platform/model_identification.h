// Server model identification from the SMBIOS product name.
#pragma once

#include "smbios/known_models.h"

namespace vigil {

extern ModelIndex gModelIndex;
// True when no model was identified and the registry holds the generic event set: the agent
// then describes the server from what its own tables say (every fan by its own name).
extern bool gGenericSetInUse;

// Reads and parses the SMBIOS table, matches the product name, loads the model's event tables.
// True when a model was identified. `tableParsed`, when given, tells whether the driver gave a
// table that rebuilt the inventory (false: no table was read, or one of layout kind 0, and the
// inventory holds what it held before). Service thread, start-up.
bool IdentifyPlatformModel(bool* tableParsed = nullptr);

}  // namespace vigil
