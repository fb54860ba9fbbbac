// A heap-held core for tests (a Core is too large for comfort on a test's stack).
#pragma once

#include <memory>

#include "core/core.h"

namespace simtest {

inline std::unique_ptr<hwsim::Core> NewCore() {
  auto core = std::make_unique<hwsim::Core>();
  hwsim::ResetCore(*core);
  return core;
}

}  // namespace simtest
