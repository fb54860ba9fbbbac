// The named shared block on the Win32 backend: who makes it first, its size, its security.
#include "os/win32/win32_api.h"  // <windows.h> without the macros that hide port names
#include <aclapi.h>

#include <gtest/gtest.h>

#include "os/os.h"
#include "peer_process.h"
#include "contract/block_layout.h"

namespace vigil::wintest {
namespace {

constexpr std::size_t kBlockSize = block::kSize;

TEST(SharedMapping, AgentFirstIsSeenByAnotherProcess) {
  const std::string name = UniqueName("Block");
  os::Handle mapping = os::CreateNamedMapping(name.c_str(), kBlockSize);
  ASSERT_NE(mapping, nullptr);
  auto* view = static_cast<uint8_t*>(os::MapWholeView(mapping));
  ASSERT_NE(view, nullptr);
  view[block::kStartupComplete] = 1;
  view[kBlockSize - 1] = 0x42;
  EXPECT_EQ(RunPeer("check " + name + " " + std::to_string(block::kStartupComplete) + " 1"), 0);
  EXPECT_EQ(RunPeer("check " + name + " " + std::to_string(kBlockSize - 1) + " 0x42"), 0);
  // Untouched bytes of a fresh mapping are zero.
  EXPECT_EQ(RunPeer("check " + name + " 4 0"), 0);
  os::CloseHandle(mapping);
}

TEST(SharedMapping, ClientFirstKeepsItsContents) {
  const std::string name = UniqueName("Block");
  PeerHolding peer("mapping", name, std::to_string(kBlockSize));
  ASSERT_TRUE(peer.Ready());
  os::Handle mapping = os::CreateNamedMapping(name.c_str(), kBlockSize);
  ASSERT_NE(mapping, nullptr);
  auto* view = static_cast<uint8_t*>(os::MapWholeView(mapping));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[0], 0xA5);
  EXPECT_EQ(view[kBlockSize - 1], 0xA5);
  os::CloseHandle(mapping);
  EXPECT_EQ(peer.Release(), 0);
}

// Mappings that cannot hold the block are refused, so nothing is written past their end;
// a mapping at least as large is taken as it is.
struct SizeCase {
  std::size_t existing;
  bool accepted;
};
class ExistingSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ExistingSize, DecidesWhetherTheBlockIsTaken) {
  const std::string name = UniqueName("Block");
  PeerHolding peer("mapping", name, std::to_string(GetParam().existing));
  ASSERT_TRUE(peer.Ready());
  os::Handle mapping = os::CreateNamedMapping(name.c_str(), kBlockSize);
  EXPECT_EQ(mapping != nullptr, GetParam().accepted);
  if (mapping != nullptr) {
    MEMORY_BASIC_INFORMATION info{};
    void* view = os::MapWholeView(mapping);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(VirtualQuery(view, &info, sizeof info), sizeof info);
    EXPECT_GE(info.RegionSize, kBlockSize);
    os::CloseHandle(mapping);
  }
  EXPECT_EQ(peer.Release(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ExistingSize,
                         ::testing::Values(SizeCase{1, false}, SizeCase{4096, false},
                                           SizeCase{kBlockSize - 8192, false},
                                           SizeCase{kBlockSize, true},
                                           SizeCase{kBlockSize + 65536, true}),
    [](const auto& info) { return "bytes_" + std::to_string(info.param.existing); });

TEST(SharedMapping, ClientOpenTellsTooSmallFromMissing) {
  bool tooSmall = true;
  EXPECT_EQ(os::OpenNamedMapping(UniqueName("Missing").c_str(), kBlockSize, &tooSmall), nullptr);
  EXPECT_FALSE(tooSmall);

  const std::string name = UniqueName("Block");
  PeerHolding peer("mapping", name, "4096");
  ASSERT_TRUE(peer.Ready());
  EXPECT_EQ(os::OpenNamedMapping(name.c_str(), kBlockSize, &tooSmall), nullptr);
  EXPECT_TRUE(tooSmall);
  EXPECT_EQ(peer.Release(), 0);
}

TEST(SharedMapping, NameTakenByAnEventIsRefused) {
  const std::string name = UniqueName("Taken");
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(os::CreateNamedMapping(name.c_str(), kBlockSize), nullptr);
  CloseHandle(event);
}

// Every account may open the block, and a child process may inherit the handle.
TEST(SharedMapping, WorldAccessAndInheritableHandle) {
  os::Handle mapping = os::CreateNamedMapping(UniqueName("Block").c_str(), kBlockSize);
  ASSERT_NE(mapping, nullptr);
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation(mapping, &flags));
  EXPECT_NE(flags & HANDLE_FLAG_INHERIT, 0u);

  PACL dacl = reinterpret_cast<PACL>(1);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(mapping, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_NE(control & SE_DACL_PRESENT, 0);
  EXPECT_EQ(dacl, nullptr);  // present but null: no restriction at all
  LocalFree(descriptor);
  os::CloseHandle(mapping);
}

}  // namespace
}  // namespace vigil::wintest
