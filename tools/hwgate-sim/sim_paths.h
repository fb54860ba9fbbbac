// Where the simulator's control socket lives; the device socket is the providers' shared one
// (hwgate-common/socket_paths.h).
#pragma once

#include <string>

namespace hwsim {

std::string ControlSocketPath();  // <root>/run/hwgate-ctl.sock

}  // namespace hwsim
