// The hwgate-sim daemon: serves the device frames of contract/device_frames.h on the device
// socket and ctl command lines on the control socket until SIGTERM or SIGINT.
#pragma once

#include <string>

namespace hwsim {

// Exit code: 0 after a clean stop, 2 for a bad scenario, 1 when the sockets cannot be made.
int RunDaemon(const std::string& scenarioPath);

}  // namespace hwsim
