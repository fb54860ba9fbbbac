// Test support on every platform: polling waits.
#pragma once

#include <chrono>
#include <functional>

namespace vigil::test {

// Polls `condition` every 10 ms until it holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace vigil::test
