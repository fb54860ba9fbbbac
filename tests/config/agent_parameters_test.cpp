// Agent parameters between the registry and the block.
#include "agent/config/agent_parameters.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "contract/registry_paths.h"
#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"
#include "support/memory_machine.h"

namespace vigil {
namespace {

const std::string kKey = std::string(kParametersBasePath) + kAgentParameterSubkey;
using Value = std::optional<std::vector<uint8_t>>;  // REG_DWORD data, or absent
const Value kNone = std::nullopt;
const std::vector<uint8_t> kOne = {1, 0, 0, 0};

class AgentParametersTest : public ::testing::Test {
 protected:
  void SetUp() override { gBlock = block_.data(); }
  void Set(uint32_t cpu, uint32_t clear) {
    block::StoreU32(gBlock, block::kCpuOverTempShutdown, cpu);
    block::StoreU32(gBlock, block::kClearEventLogEnabled, clear);
  }
  std::pair<uint32_t, uint32_t> Get() const {
    return {block::LoadU32(gBlock, block::kCpuOverTempShutdown), block::LoadU32(gBlock, block::kClearEventLogEnabled)};
  }
  void Seed(const char* name, const Value& data) {
    if (!data) return;
    os::RegHandle key = nullptr;
    ASSERT_EQ(os::RegCreateKey(kKey.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
    os::RegSetValue(key, name, os::kRegDword, data->data(), uint32_t(data->size()));
    os::RegCloseKey(key);
  }

  test::MemoryMachine machine_;
  std::vector<uint8_t> block_ = std::vector<uint8_t>(block::kSize);
};

TEST_F(AgentParametersTest, LoadFollowsTheRegistryInOrder) {
  struct Case { Value cpu, clear; uint32_t wantCpu, wantClear; };
  const Case cases[] = {
      {kNone, kNone, 0, 0},
      {kOne, kOne, 1, 1},
      {kNone, kOne, 0, 0},  // the failed first read closed the key
      {kOne, kNone, 1, 0},
      {std::vector<uint8_t>{1, 0}, kOne, 0, 0},  // short data read as missing
      {std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}, std::vector<uint8_t>{2, 0, 0, 0x80}, 0xFFFFFFFF, 0x80000002},
  };
  for (const Case& c : cases) {
    test::MemoryMachine fresh;
    SetUp();
    Set(0x5A5A5A5A, 0x5A5A5A5A);
    Seed(kCpuOverTempShutdownValue, c.cpu);
    Seed(kClearEventLogEnabledValue, c.clear);
    LoadAgentParameters();
    EXPECT_EQ(Get(), std::make_pair(c.wantCpu, c.wantClear)) << (c.cpu ? c.cpu->size() : 99);
  }
}

TEST_F(AgentParametersTest, SaveWritesBothAndReloadDropsUnsavedValues) {
  Set(7, 0x01020304);
  SaveAgentParameters();
  Set(1, 1);  // a client's change without a save request
  LoadAgentParameters();
  EXPECT_EQ(Get(), std::make_pair(7u, 0x01020304u));
}

TEST_F(AgentParametersTest, CorruptRegistryNeverMixesOrCrashes) {
  os::memory::BreakRegistry();
  Set(9, 9);
  LoadAgentParameters();
  SaveAgentParameters();
  // Either the key could not be opened (both kept) or the first read failed (both zero).
  EXPECT_TRUE(Get() == std::make_pair(9u, 9u) || Get() == std::make_pair(0u, 0u));
}

}  // namespace
}  // namespace vigil
