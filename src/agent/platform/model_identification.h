// Server model identification from the SMBIOS product name.
#pragma once

#include <cstdint>

namespace vigil {

// The server models the agent knows. The value is the model index that the fan rules and the
// memory locator keys are chosen by (index 2 was never given to a model).
enum ModelIndex : int32_t {
  kModelUnidentified = 0,
  kModelKelvoA14x = 1,  // the A140 and the A141 share one index and one set of event tables
  kModelKelvoB720 = 3,
  kModelKelvoC850 = 4,
};

extern ModelIndex gModelIndex;

// Reads and parses the SMBIOS table, matches the product name, loads the model's event tables.
// True when a model was identified. `tableParsed`, when given, tells whether the driver gave a
// table that rebuilt the inventory (false: no table was read, or one of layout kind 0, and the
// inventory holds what it held before). Service thread, start-up.
bool IdentifyPlatformModel(bool* tableParsed = nullptr);

}  // namespace vigil
