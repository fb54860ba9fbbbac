// Where the simulator's sockets live: under the sandbox root named by VIGIL_ROOT, as the
// port resolves the device path (\\.\HwGate -> /run/hwgate.sock).
#pragma once

#include <string>

namespace hwsim {

// `absolute` under VIGIL_ROOT (unset or "/" means the real root).
std::string RootedPath(const std::string& absolute);
std::string DeviceSocketPath();   // <root>/run/hwgate.sock
std::string ControlSocketPath();  // <root>/run/hwgate-ctl.sock

}  // namespace hwsim
