#include "sim_paths.h"

#include "socket_paths.h"

namespace hwsim {

std::string ControlSocketPath() { return hwgate::RootedPath("/run/hwgate-ctl.sock"); }

}  // namespace hwsim
