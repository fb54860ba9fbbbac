#include <sys/stat.h>
#include <sys/types.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "os/os.h"
#include "support/sandbox.h"

namespace {

using vigil::test::RunInChild;
using vigil::test::Sandbox;

constexpr std::size_t kSize = 157072;

TEST(SharedMapping, FreshMappingIsZeroedSizedAndWorldWritableWhateverTheUmask) {
  Sandbox sandbox;
  mode_t old = umask(077);
  os::Handle mapping = os::CreateNamedMapping("DMFileMap", kSize);
  umask(old);
  ASSERT_NE(mapping, nullptr);
  auto* view = static_cast<unsigned char*>(os::MapWholeView(mapping));
  ASSERT_NE(view, nullptr);
  for (std::size_t i = 0; i < kSize; i += 4099) EXPECT_EQ(view[i], 0) << i;
  struct stat st;
  ASSERT_EQ(stat(sandbox.Path("dev/shm/DMFileMap").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, static_cast<off_t>(kSize));
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  os::CloseHandle(mapping);
}

TEST(SharedMapping, AnotherProcessSeesTheSameBytesAndReopeningKeepsThem) {
  Sandbox sandbox;
  // The client makes the block first and leaves a mark; the agent's create must keep it.
  int rc = RunInChild([] {
    os::Handle mapping = os::CreateNamedMapping("DMFileMap", kSize);
    auto* view = static_cast<unsigned char*>(os::MapWholeView(mapping));
    if (view == nullptr) return 1;
    view[kSize - 1] = 0xA5;
    return 0;
  });
  ASSERT_EQ(rc, 0);
  os::Handle mapping = os::CreateNamedMapping("DMFileMap", kSize);
  ASSERT_NE(mapping, nullptr);
  auto* view = static_cast<unsigned char*>(os::MapWholeView(mapping));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[kSize - 1], 0xA5);
  view[0] = 0x5A;
  rc = RunInChild([] {
    auto* again = static_cast<unsigned char*>(
        os::MapWholeView(os::CreateNamedMapping("DMFileMap", kSize)));
    return again != nullptr && again[0] == 0x5A ? 0 : 1;
  });
  EXPECT_EQ(rc, 0);
  os::CloseHandle(mapping);
}

TEST(SharedMapping, SmallerExistingObjectIsRefusedUntouched) {
  Sandbox sandbox;
  const std::string contents(100, 'x');
  sandbox.WriteFile("dev/shm/DMFileMap", contents);
  EXPECT_EQ(os::CreateNamedMapping("DMFileMap", kSize), nullptr);
  EXPECT_EQ(sandbox.ReadFile("dev/shm/DMFileMap"), contents);
}

TEST(SharedMapping, SmallerMappingMadeByAnotherProcessIsRefused) {
  Sandbox sandbox;
  ASSERT_EQ(RunInChild([] { return os::CreateNamedMapping("DMFileMap", 4096) ? 0 : 1; }), 0);
  EXPECT_EQ(os::CreateNamedMapping("DMFileMap", kSize), nullptr);
  struct stat st;
  ASSERT_EQ(stat(sandbox.Path("dev/shm/DMFileMap").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 4096);
}

TEST(SharedMapping, BiggerExistingObjectIsUsedWithItsContents) {
  Sandbox sandbox;
  std::string contents(kSize + 10, '\0');
  contents[7] = 'k';
  sandbox.WriteFile("dev/shm/DMFileMap", contents);
  os::Handle mapping = os::CreateNamedMapping("DMFileMap", kSize);
  ASSERT_NE(mapping, nullptr);
  auto* view = static_cast<char*>(os::MapWholeView(mapping));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[7], 'k');
  EXPECT_EQ(sandbox.ReadFile("dev/shm/DMFileMap").size(), kSize + 10);
  os::CloseHandle(mapping);
}

TEST(SharedMapping, ObjectShrunkAfterOpeningIsNotMapped) {
  Sandbox sandbox;
  os::Handle mapping = os::CreateNamedMapping("DMFileMap", kSize);
  ASSERT_NE(mapping, nullptr);
  ASSERT_EQ(truncate(sandbox.Path("dev/shm/DMFileMap").c_str(), 16), 0);
  // Mapping past the end would make the first touch a SIGBUS.
  EXPECT_EQ(os::MapWholeView(mapping), nullptr);
  os::CloseHandle(mapping);
}

TEST(SharedMapping, NamesThatWouldLeaveTheDirectoryAreRefused) {
  Sandbox sandbox;
  for (const char* name : {"", ".", "..", "../escape", "a/b", "bad\nname"}) {
    EXPECT_EQ(os::CreateNamedMapping(name, 64), nullptr) << name;
  }
  EXPECT_EQ(os::CreateNamedMapping(nullptr, 64), nullptr);
  EXPECT_EQ(os::CreateNamedMapping("ZeroSized", 0), nullptr);
  EXPECT_FALSE(sandbox.Exists("dev/escape"));
  EXPECT_FALSE(sandbox.Exists("dev/shm/ZeroSized"));
}

TEST(SharedMapping, HandleOfAnotherKindIsNotMapped) {
  Sandbox sandbox;
  os::Handle event = os::CreateUnnamedEvent(true, false);
  EXPECT_EQ(os::MapWholeView(event), nullptr);
  EXPECT_EQ(os::MapWholeView(nullptr), nullptr);
  os::CloseHandle(event);
}

}  // namespace
