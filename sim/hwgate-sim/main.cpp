// hwgate-sim: the simulated platform access driver for Linux.
//   hwgate-sim --scenario FILE      serve the scenario until SIGTERM/SIGINT
//   hwgate-sim ctl COMMAND [ARGS]   change the running simulator (see ctl_commands.h)
#include <iostream>
#include <string>
#include <vector>

#include "ctl_client.h"
#include "daemon.h"

namespace {

int Usage() {
  std::cerr << "usage: hwgate-sim --scenario FILE\n"
               "       hwgate-sim ctl append-record HEX | clear-log [FIRST_RECORD_TIME] |\n"
               "                      set-sensor HANDLE RAW STATUS |\n"
               "                      fail-next N [any|smbios|log|command] |\n"
               "                      malformed zero-length|overrun | stats\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "--scenario") return hwsim::RunDaemon(args[1]);
  if (args.size() >= 2 && args[0] == "ctl") {
    return hwsim::RunControlClient(std::vector<std::string>(args.begin() + 1, args.end()));
  }
  return Usage();
}
