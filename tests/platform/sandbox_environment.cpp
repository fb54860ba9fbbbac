// Every test of this binary runs inside a sandbox root: the parser hands event log structures
// to the event log reader, which opens its registry key, and that must never be the machine's.
#include <gtest/gtest.h>

#include <memory>

#include "support/sandbox.h"

namespace vigil::test {
namespace {

class SandboxEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { sandbox_ = std::make_unique<Sandbox>(); }
  void TearDown() override { sandbox_.reset(); }

 private:
  std::unique_ptr<Sandbox> sandbox_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);

}  // namespace
}  // namespace vigil::test
