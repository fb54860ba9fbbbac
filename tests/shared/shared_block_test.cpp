// Creation of "DMFileMap" on the real shared-memory backend, one sandbox per test.
#include "shared/shared_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "shared/block_access.h"
#include "shared/block_layout.h"
#include "support/sandbox.h"

namespace vigil {
namespace {

const std::string kBlockFile = std::string("dev/shm/") + block::kName;
const std::string kMessages = "var/log/vigilagent/messages.log";

class SharedBlockTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ReleaseSharedBlock();
    gBlock = nullptr;
    gView = nullptr;
  }
  std::string Messages() const { return sandbox_.Exists(kMessages) ? sandbox_.ReadFile(kMessages) : ""; }

  test::Sandbox sandbox_;
};

TEST_F(SharedBlockTest, FreshMappingIsFullSizeAndZero) {
  ASSERT_EQ(SetUpSharedBlock(), 0);
  ASSERT_NE(gView, nullptr);
  EXPECT_EQ(gBlock, gView);
  const std::string file = sandbox_.ReadFile(kBlockFile);
  ASSERT_EQ(file.size(), block::kSize);
  EXPECT_TRUE(std::all_of(file.begin(), file.end(), [](char c) { return c == 0; }));
  // Writes through the block reach the object clients open.
  block::StoreU8(gBlock, block::kStartupComplete, 1);
  EXPECT_EQ(sandbox_.ReadFile(kBlockFile)[block::kStartupComplete], 1);
}

TEST_F(SharedBlockTest, ClientCreatedMappingIsReusedWithItsContents) {
  std::string contents(block::kSize, '\0');
  contents[block::kRingNextSlot] = 7;
  contents[block::kSystemUuid] = '\x42';
  contents[block::kSize - 1] = '\x99';
  sandbox_.WriteFile(kBlockFile, contents);

  uint8_t* view = CreateSharedBlock(block::kName, block::kSize);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[block::kRingNextSlot], 7);
  EXPECT_EQ(view[block::kSystemUuid], 0x42);
  EXPECT_EQ(view[block::kSize - 1], 0x99);
  view[block::kRequest17Flag] = 1;
  EXPECT_EQ(sandbox_.ReadFile(kBlockFile)[block::kRequest17Flag], 1);
}

TEST_F(SharedBlockTest, SmallerExistingMappingIsRefusedAndLeftUntouched) {
  const std::string small(1000, '\x11');
  sandbox_.WriteFile(kBlockFile, small);

  EXPECT_EQ(CreateSharedBlock(block::kName, block::kSize), nullptr);
  ASSERT_EQ(SetUpSharedBlock(), 0);
  EXPECT_EQ(gView, nullptr);
  ASSERT_NE(gBlock, nullptr);
  // The agent goes on with a private, zero-filled block of the full size.
  EXPECT_TRUE(std::all_of(gBlock, gBlock + block::kSize, [](uint8_t b) { return b == 0; }));
  block::StoreU8(gBlock, block::kSize - 1, 0xEE);
  EXPECT_EQ(sandbox_.ReadFile(kBlockFile), small);
  // Refusing a mapping is silent: the view box is only for a view that cannot be made.
  EXPECT_EQ(Messages().find("Cannot MapViewOfFile"), std::string::npos);
}

TEST_F(SharedBlockTest, ReleaseFreesOnlyThePrivateBlock) {
  sandbox_.WriteFile(kBlockFile, "short");
  ASSERT_EQ(SetUpSharedBlock(), 0);
  ASSERT_NE(gBlock, nullptr);
  ReleaseSharedBlock();
  EXPECT_EQ(gBlock, nullptr);
  EXPECT_EQ(CurrentBlock(), nullptr);
}

TEST_F(SharedBlockTest, ReleaseKeepsAMappedView) {
  ASSERT_EQ(SetUpSharedBlock(), 0);
  uint8_t* view = gView;
  ASSERT_NE(view, nullptr);
  ReleaseSharedBlock();
  EXPECT_EQ(gBlock, view);
  view[block::kRequestCode] = 3;  // still mapped
  EXPECT_EQ(sandbox_.ReadFile(kBlockFile)[block::kRequestCode], 3);
}

}  // namespace
}  // namespace vigil
