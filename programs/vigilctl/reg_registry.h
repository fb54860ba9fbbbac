// .reg operations against the registry through the port.
#pragma once

#include <string>
#include <vector>

#include "reg_file.h"

namespace vigilctl {

// Applies parsed operations in order, all together or none (os::RegApplyAtomically). 0 success;
// -1 at the first failure, with *error saying which line and why. Main thread of vigilctl.
int ApplyRegOperations(const std::vector<RegOperation>& operations, std::string* error);

// The key below HKEY_LOCAL_MACHINE and all its subkeys as .reg text (header included).
// 0 success; -1 with *error when the key cannot be opened or read.
int ExportRegKey(const std::string& path, std::string* text, std::string* error);

}  // namespace vigilctl
