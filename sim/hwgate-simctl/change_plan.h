// What hwgate-simctl sends: the private requests that bring the driver's core from the state
// it reported (a snapshot) to the state the tool computed locally with the very code the
// Linux simulator runs (scenario loader, ctl commands). Portable, so it is tested natively.
#pragma once

#include <cstdint>
#include <vector>

#include "core/core.h"

namespace hwsim::control {

struct Request {
  uint32_t code;
  std::vector<uint8_t> input;
};

// Requests that turn a driver core equal to `before` into one equal to `after`, the stats
// excepted (they are the driver's own). A different table restarts the core from empty; a
// log that is not `before`'s log grown at its end is cleared and written again.
std::vector<Request> PlanChanges(const Core& before, const Core& after);

// The table half of `core` as kIoctlLoadTable takes it.
std::vector<uint8_t> TableImageOf(const Core& core);

// A snapshot is trusted only when its counts are in range, so that walking it stays inside.
bool PlausibleSnapshot(const Core& core);

}  // namespace hwsim::control
