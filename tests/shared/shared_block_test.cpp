// Creation of "DMFileMap" on the real shared-memory backend.
#include "agent/shared/shared_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "contract/block_layout.h"
#include "support/sandbox.h"

namespace vigil {
namespace {

const std::string kBlockFile = std::string("dev/shm/") + block::kName;

class SharedBlockTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ReleaseSharedBlock();
    gBlock = gView = nullptr;
  }
  test::Sandbox sandbox_;
};

TEST_F(SharedBlockTest, ClientCreatedMappingIsReusedWithItsContents) {
  std::string contents(block::kSize, '\0');
  contents[block::kSize - 1] = '\x99';
  sandbox_.WriteFile(kBlockFile, contents);
  ASSERT_EQ(SetUpSharedBlock(), 0);
  ASSERT_NE(gView, nullptr);
  EXPECT_EQ(gBlock[block::kSize - 1], 0x99);
  gBlock[block::kRequest17Flag] = 1;
  EXPECT_EQ(sandbox_.ReadFile(kBlockFile)[block::kRequest17Flag], 1);
}

// A shorter object cannot hold the block: refused, left as it was, private block instead.
TEST_F(SharedBlockTest, SmallerExistingMappingIsRefusedAndLeftUntouched) {
  const std::string small(1000, '\x11');
  sandbox_.WriteFile(kBlockFile, small);
  ASSERT_EQ(SetUpSharedBlock(), 0);
  EXPECT_EQ(gView, nullptr);
  ASSERT_NE(gBlock, nullptr);
  EXPECT_TRUE(std::all_of(gBlock, gBlock + block::kSize, [](uint8_t b) { return b == 0; }));
  gBlock[block::kSize - 1] = 0xEE;
  EXPECT_EQ(sandbox_.ReadFile(kBlockFile), small);
  ReleaseSharedBlock();
  EXPECT_EQ(CurrentBlock(), nullptr);
}

}  // namespace
}  // namespace vigil
