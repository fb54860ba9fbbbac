// Server model identification from the SMBIOS product name.
#pragma once

#include "smbios/known_models.h"
#include "agent/state/agent_state.h"

namespace vigil {

// A provider that is still starting, or whose connections are all taken for a moment, fails the
// table read: up to this many reads, with a wait of gTableRetryDelayMs after the first failure,
// doubled after each further one (1 + 2 + 4 + 8 s at most). A stop request ends the waiting.
// RUNNING has been reported before the start-up, so no service manager waits on this.
constexpr int kTableReadAttempts = 5;

// Reads and parses the SMBIOS table (each failed read logged, and retried as above), matches the
// product name, loads the model's event tables (or, with no model, the generic ones when the
// registry holds them). True when a model was identified. `tableParsed`, when given, tells
// whether the driver gave a table that rebuilt the inventory (false: no table was read, or one
// of layout kind 0, and the inventory holds what it held before). Service thread, start-up.
bool IdentifyPlatformModel(bool* tableParsed = nullptr);

// Whether the registry holds the generic event descriptions. Opens the key without creating it,
// so a registry without them is left exactly as it was. Any thread.
bool GenericSetPresent();

}  // namespace vigil
