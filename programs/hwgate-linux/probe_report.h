// hwgate-linux --probe: what the provider found, for the administrator of a new server.
#pragma once

#include <ostream>

#include "startup.h"

namespace hwlinux {

// Prints the table size and version, the log source and its record count, and every live
// sensor with its name, source and a fresh reading (one read each).
void PrintProbeReport(Startup& startup, std::ostream& out);

}  // namespace hwlinux
