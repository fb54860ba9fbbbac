// Agent parameters between the registry and the block, on the real registry backend.
#include "config/agent_parameters.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "config/registry_helpers.h"
#include "config/registry_paths.h"
#include "shared/block_access.h"
#include "shared/block_layout.h"
#include "shared/shared_block.h"
#include "support/sandbox.h"

namespace vigil {
namespace {

const std::string kKey = std::string(kParametersBasePath) + kAgentParameterSubkey;
constexpr uint32_t kGarbage = 0x5A5A5A5A;

class AgentParametersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    block_.assign(block::kSize, 0);
    gBlock = block_.data();
    Fields(kGarbage, kGarbage);
  }
  void TearDown() override { gBlock = nullptr; }

  void Fields(uint32_t cpu, uint32_t clear) {
    block::StoreU32(gBlock, block::kCpuOverTempShutdown, cpu);
    block::StoreU32(gBlock, block::kClearEventLogEnabled, clear);
  }
  uint32_t Cpu() const { return block::LoadU32(gBlock, block::kCpuOverTempShutdown); }
  uint32_t Clear() const { return block::LoadU32(gBlock, block::kClearEventLogEnabled); }

  test::Sandbox sandbox_;
  std::vector<uint8_t> block_;
};

// A stored value: a DWORD, raw bytes of some type, or nothing.
struct Seed {
  std::optional<uint32_t> type;
  std::vector<uint8_t> data;
};
const Seed kAbsent{std::nullopt, {}};
Seed Dword(uint32_t v) {
  return {os::kRegDword, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}};
}

struct LoadCase {
  const char* what;
  Seed cpu;
  Seed clear;
  uint32_t expectCpu;
  uint32_t expectClear;
};

class LoadTest : public AgentParametersTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTest, FieldsFollowTheRegistry) {
  const LoadCase& c = GetParam();
  for (const auto& [name, seed] : {std::pair{kCpuOverTempShutdownValue, c.cpu}, std::pair{kClearEventLogEnabledValue, c.clear}}) {
    if (seed.type) {
      ASSERT_TRUE(test::PutValue(kKey, name, *seed.type, seed.data));
    }
  }
  LoadAgentParameters();
  EXPECT_EQ(Cpu(), c.expectCpu);
  EXPECT_EQ(Clear(), c.expectClear);
  EXPECT_TRUE(test::KeyExists(kKey));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadTest,
    ::testing::Values(
        LoadCase{"neither", kAbsent, kAbsent, 0, 0},
        LoadCase{"both", Dword(1), Dword(1), 1, 1},
        LoadCase{"full width", Dword(0xFFFFFFFF), Dword(0x80000000), 0xFFFFFFFF, 0x80000000},
        // The first failed read closes the key, so the second value is lost with it.
        LoadCase{"only clear", kAbsent, Dword(1), 0, 0},
        LoadCase{"only cpu", Dword(1), kAbsent, 1, 0},
        LoadCase{"cpu short", Seed{os::kRegDword, {1, 0}}, Dword(1), 0, 0},
        LoadCase{"cpu string", Seed{os::kRegSz, {'1', 0}}, Dword(1), 0, 0},
        LoadCase{"cpu binary", Seed{os::kRegBinary, {1, 0, 0, 0}}, Dword(1), 0, 0},
        LoadCase{"clear one byte", Dword(3), Seed{os::kRegDword, {1}}, 3, 0},
        LoadCase{"clear too long", Dword(3), Seed{os::kRegDword, std::vector<uint8_t>(300, 1)}, 3, 0}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& ch : name) if (ch == ' ') ch = '_';
      return name;
    });

TEST_F(AgentParametersTest, SaveWritesBothFieldsAsDwords) {
  ASSERT_TRUE(test::PutValue(kKey, kClearEventLogEnabledValue, os::kRegSz, {'x', 0}));
  Fields(1, 0x01020304);
  SaveAgentParameters();
  auto cpu = test::GetValue(kKey, kCpuOverTempShutdownValue);
  auto clear = test::GetValue(kKey, kClearEventLogEnabledValue);
  ASSERT_TRUE(cpu && clear);
  EXPECT_EQ(cpu->type, os::kRegDword);
  EXPECT_EQ(cpu->data, (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(clear->type, os::kRegDword);
  EXPECT_EQ(clear->data, (std::vector<uint8_t>{4, 3, 2, 1}));
}

TEST_F(AgentParametersTest, ReloadDropsUnsavedClientValues) {
  ASSERT_TRUE(test::PutDword(kKey, kCpuOverTempShutdownValue, 0));
  ASSERT_TRUE(test::PutDword(kKey, kClearEventLogEnabledValue, 1));
  LoadAgentParameters();
  Fields(1, 0);  // a client's change without a save request
  LoadAgentParameters();
  EXPECT_EQ(Cpu(), 0u);
  EXPECT_EQ(Clear(), 1u);
}

TEST_F(AgentParametersTest, SaveThenLoadRoundTrips) {
  Fields(7, 9);
  SaveAgentParameters();
  Fields(0, 0);
  LoadAgentParameters();
  EXPECT_EQ(Cpu(), 7u);
  EXPECT_EQ(Clear(), 9u);
}

TEST_F(AgentParametersTest, CorruptRegistryLeavesFieldsAndDoesNotCrash) {
  sandbox_.WriteFile("var/lib/vigilagent/registry.db", std::string(16384, '\xC3'));
  LoadAgentParameters();
  // Either the key could not be opened (fields kept) or the reads failed (fields zeroed);
  // never a mix, and never a crash.
  EXPECT_EQ(Cpu(), Clear());
  EXPECT_TRUE(Cpu() == kGarbage || Cpu() == 0);
  SaveAgentParameters();
}

TEST_F(AgentParametersTest, NoBlockIsANoOp) {
  gBlock = nullptr;
  ASSERT_TRUE(test::PutDword(kKey, kCpuOverTempShutdownValue, 1));
  LoadAgentParameters();
  SaveAgentParameters();
  auto cpu = test::GetValue(kKey, kCpuOverTempShutdownValue);
  ASSERT_TRUE(cpu);
  EXPECT_EQ(cpu->data[0], 1);
}

}  // namespace
}  // namespace vigil
