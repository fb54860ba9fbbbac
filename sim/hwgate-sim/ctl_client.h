// `hwgate-sim ctl <command> ...`: sends one command line to the running daemon.
#pragma once

#include <string>
#include <vector>

namespace hwsim {

// Exit code: 0 done (output on stdout), 1 refused by the daemon, 3 no daemon answering.
int RunControlClient(const std::vector<std::string>& words);

}  // namespace hwsim
