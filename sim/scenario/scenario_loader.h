// Scenario files: the JSON description of one simulated server (fixtures/README.md).
#pragma once

#include <string>

#include "core/core.h"

namespace hwsim {

// Resets `core` and loads the scenario into it. False with "FILE: KEY: what is wrong" in
// *error, and the core left empty, when the file cannot be read or is not a valid scenario.
bool LoadScenarioFile(const char* path, Core* core, std::string* error);

// The same from JSON text; relative table file paths are taken from `baseDir`. `name` is the
// file name used in messages.
bool LoadScenarioText(const std::string& text, const std::string& name, const std::string& baseDir,
                      Core* core, std::string* error);

}  // namespace hwsim
