// Test support on every platform: files of the source tree (fixtures), by their path on the
// build host. Under Wine that path is reached through drive Z:.
#pragma once

#include <string>

namespace vigil::test {

// Path inside the source tree.
std::string SourcePath(const std::string& relative);

}  // namespace vigil::test
