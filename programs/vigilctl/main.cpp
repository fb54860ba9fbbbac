// vigilctl: the management client of the agent. One command per file; add a row here.
#include <cstdio>
#include <cstring>

#include "command.h"

namespace vigilctl {
namespace {

const Command kCommands[] = {
    {"status", "status [--json]", RunStatus},
    {"sensors", "sensors [--kind all|temp|volt|fan] [--json] [--no-refresh]", RunSensors},
    {"set-param", "set-param cpu-overtemp-shutdown|clear-event-log on|off", RunSetParam},
    {"request", "request N [--wait]", RunRequest},
    {"reg", "reg import FILE.reg | reg export KEY", RunReg},
    {"events", "events [--json] [--all] [--follow]", RunEvents},
    {"metrics", "metrics [--no-refresh] [--textfile DIR]", RunMetrics},
#ifndef _WIN32
    {"serve-metrics", "serve-metrics [--listen ADDR:PORT|unix:PATH] [--threads N] [--refresh-interval MS]", RunServeMetricsProgram},
    {"traps", "traps [--state FILE]", RunTraps},
#endif
};

int Usage() {
  std::fprintf(stderr, "usage:\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  vigilctl %s\n", c.usage);
  return kExitUsage;
}

}  // namespace
}  // namespace vigilctl

int main(int argc, char** argv) {
  using namespace vigilctl;
  if (argc < 2) return Usage();
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
  }
  if (std::strcmp(argv[1], "--help") != 0 && std::strcmp(argv[1], "help") != 0) {
    std::fprintf(stderr, "vigilctl: unknown command '%s'\n", argv[1]);
  }
  return Usage();
}
