// Where the simulator's control socket lives; the device socket is where the port looks for
// the device (os::DeviceSocketPath).
#pragma once

#include <string>

namespace hwsim {

std::string ControlSocketPath();  // <root>/run/hwgate-ctl.sock

}  // namespace hwsim
