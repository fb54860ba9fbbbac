#include "sim_paths.h"

#include <cstdlib>

namespace hwsim {

std::string RootedPath(const std::string& absolute) {
  const char* root = std::getenv("VIGIL_ROOT");
  std::string prefix = root == nullptr ? "" : root;
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  return prefix + absolute;
}

std::string DeviceSocketPath() { return RootedPath("/run/hwgate.sock"); }

std::string ControlSocketPath() { return RootedPath("/run/hwgate-ctl.sock"); }

}  // namespace hwsim
