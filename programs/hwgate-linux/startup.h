// Everything hwgate-linux reads before it serves: configuration, sources, the live sensor
// list, the served table and the first log snapshot. Shared by the daemon and --probe.
#pragma once

#include <string>
#include <vector>

#include "file_reader.h"
#include "options.h"
#include "served_table.h"
#include "sources.h"

namespace hwlinux {

struct Startup {
  Sources sources;
  ServedTable table;
  LogSnapshot snapshot;
  std::vector<std::string> lines;  // diagnoses and notes, one line each, to print at start
};

// Returns 0, or -1 with *error when the configuration file is unreadable or wrong (the only
// fatal problem: missing sources are lines in out->lines). Main thread, once.
int PrepareStartup(const Options& options, FileReader& files, Startup* out, std::string* error);

}  // namespace hwlinux
