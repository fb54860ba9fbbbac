#include "sim_paths.h"

#include "os/os.h"

namespace hwsim {

std::string ControlSocketPath() { return os::RootedPath("/run/hwgate-ctl.sock"); }

}  // namespace hwsim
