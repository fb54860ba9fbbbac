// The ctl commands that change a running simulator, one text line each:
//   append-record HEX | clear-log [FIRST_RECORD_TIME] | set-sensor HANDLE RAW STATUS |
//   fail-next N [any|smbios|log|command] | malformed zero-length|overrun | stats
// Numbers are decimal or 0x-hex.
#pragma once

#include <cstdint>
#include <string>

#include "core/core.h"

namespace hwsim {

// Runs one command line on `core` (the caller holds the core's lock). True on success with
// any output lines in *reply; false with the reason in *reply. `now` is the first-record time
// a clear-log without argument gives the new log (moved on by one if it equals the old one).
bool RunControlCommand(Core& core, const std::string& line, uint32_t now, std::string* reply);

}  // namespace hwsim
