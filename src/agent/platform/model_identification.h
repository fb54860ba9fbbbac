// Server model identification from the SMBIOS product name.
#pragma once

#include "smbios/known_models.h"

namespace vigil {

extern ModelIndex gModelIndex;
// True when no model was identified and the registry holds the generic event descriptions: the
// event tables were loaded from them, and the server is described as far as the standards allow
// (its UUID published, limit events naming their device, every fan by its own name). False at
// start; set by IdentifyPlatformModel only. The model index stays 0 either way.
extern bool gGenericSetInUse;

// Reads and parses the SMBIOS table, matches the product name, loads the model's event tables
// (or, with no model, the generic ones when the registry holds them). True when a model was
// identified. `tableParsed`, when given, tells whether the driver gave a table that rebuilt the
// inventory (false: no table was read, or one of layout kind 0, and the inventory holds what it
// held before). Service thread, start-up.
bool IdentifyPlatformModel(bool* tableParsed = nullptr);

// Whether the registry holds the generic event descriptions. Opens the key without creating it,
// so a registry without them is left exactly as it was. Any thread.
bool GenericSetPresent();

}  // namespace vigil
