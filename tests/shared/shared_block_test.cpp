// Creation of "DMFileMap" on the in-memory port.
#include "agent/shared/shared_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "contract/block_layout.h"
#include "support/agent_block.h"
#include "support/memory_machine.h"

namespace vigil {
namespace {

class SharedBlockTest : public ::testing::Test {
 protected:
  void TearDown() override { ReleaseSharedBlock(); }
  // What a client sees of the named block now.
  static std::string BlockBytes() { return os::memory::MappingBytes(block::kName).value_or(""); }
  test::MemoryMachine machine_;
};

TEST_F(SharedBlockTest, ClientCreatedMappingIsReusedWithItsContents) {
  std::string contents(block::kSize, '\0');
  contents[block::kSize - 1] = '\x99';
  ASSERT_NE(test::HoldClientBlock(contents), nullptr);
  ASSERT_EQ(SetUpSharedBlock(), 0);
  ASSERT_NE(gView, nullptr);
  EXPECT_EQ(gBlock[block::kSize - 1], 0x99);
  gBlock[block::kRequest17Flag] = 1;
  EXPECT_EQ(BlockBytes()[block::kRequest17Flag], 1);
}

// A shorter object cannot hold the block: refused, left as it was, private block instead.
TEST_F(SharedBlockTest, SmallerExistingMappingIsRefusedAndLeftUntouched) {
  const std::string small(1000, '\x11');
  ASSERT_NE(test::HoldClientBlock(small), nullptr);
  ASSERT_EQ(SetUpSharedBlock(), 0);
  EXPECT_EQ(gView, nullptr);
  ASSERT_NE(gBlock, nullptr);
  EXPECT_TRUE(std::all_of(gBlock, gBlock + block::kSize, [](uint8_t b) { return b == 0; }));
  gBlock[block::kSize - 1] = 0xEE;
  EXPECT_EQ(BlockBytes(), small);
  ReleaseSharedBlock();
  EXPECT_EQ(CurrentBlock(), nullptr);
}

}  // namespace
}  // namespace vigil
