// Where the platform providers' sockets live: under the sandbox root named by VIGIL_ROOT, as the
// agent's port resolves the device path (\\.\HwGate -> /run/hwgate.sock).
#pragma once

#include <string>

namespace hwgate {

// `absolute` under VIGIL_ROOT (unset or "/" means the real root). Reads the environment at
// each call; any thread.
std::string RootedPath(const std::string& absolute);
std::string DeviceSocketPath();  // <root>/run/hwgate.sock

}  // namespace hwgate
