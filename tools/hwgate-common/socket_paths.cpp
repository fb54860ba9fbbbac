#include "socket_paths.h"

#include <cstdlib>

namespace hwgate {

std::string RootedPath(const std::string& absolute) {
  const char* root = std::getenv("VIGIL_ROOT");
  std::string prefix = root == nullptr ? "" : root;
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  return prefix + absolute;
}

std::string DeviceSocketPath() { return RootedPath("/run/hwgate.sock"); }

}  // namespace hwgate
