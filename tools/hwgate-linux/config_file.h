// The provider's configuration file: explicit bindings of firmware probes to live sensors,
// for machines whose firmware descriptions do not name the sensors they describe.
//
//   # comment
//   bind 0x0030 CPU1 Temp      firmware structure 0x0030 shows the live sensor "CPU1 Temp"
#pragma once

#include <string>
#include <vector>

#include "served_table.h"

namespace hwlinux {

// Parses the text. Returns 0, or -1 with *error naming the line at fault.
int ParseConfig(const std::string& text, std::vector<Binding>* bindings, std::string* error);

}  // namespace hwlinux
