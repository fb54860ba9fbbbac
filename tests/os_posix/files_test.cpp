#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "os/os.h"
#include "os/posix/drive_paths.h"
#include "support/sandbox.h"
#include "support/test_name.h"

namespace {

using vigil::test::Sandbox;

struct DriveCase {
  const char* windows;
  const char* posix;  // null: refused
};

class DrivePathTest : public ::testing::TestWithParam<DriveCase> {};

TEST_P(DrivePathTest, MapsDriveCAndRefusesTheRest) {
  std::string mapped;
  bool ok = os::posix::DrivePathToPosix(GetParam().windows, &mapped);
  if (GetParam().posix == nullptr) {
    EXPECT_FALSE(ok) << mapped;
  } else {
    ASSERT_TRUE(ok);
    EXPECT_EQ(mapped, GetParam().posix);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DrivePathTest,
    ::testing::Values(
        DriveCase{"c:\\test_log.csv", "/var/lib/vigilagent/drive_c/test_log.csv"},
        DriveCase{"C:\\dir\\\\sub\\.\\f.txt", "/var/lib/vigilagent/drive_c/dir/sub/f.txt"},
        DriveCase{"c:/dir/f", "/var/lib/vigilagent/drive_c/dir/f"},
        DriveCase{"d:\\test_log.csv", nullptr}, DriveCase{"test_log.csv", nullptr},
        DriveCase{"c:test_log.csv", nullptr}, DriveCase{"\\\\server\\share\\f", nullptr},
        DriveCase{"c:\\", nullptr}, DriveCase{"c:\\..\\..\\etc\\passwd", nullptr},
        DriveCase{"c:\\dir\\..\\f", nullptr}, DriveCase{"c:\\f:stream", nullptr},
        DriveCase{"c:\\a?b", nullptr}, DriveCase{"", nullptr}, DriveCase{nullptr, nullptr}),
    [](const auto& info) {
      return vigil::test::TestName(info.index, info.param.windows ? info.param.windows : "null");
    });

TEST(OpenFile, WritesAndReadsUnderTheSandboxDrive) {
  Sandbox sandbox;
  EXPECT_EQ(os::OpenFile("c:\\test_log.csv", "r"), nullptr);
  std::FILE* out = os::OpenFile("c:\\test_log.csv", "wt");
  ASSERT_NE(out, nullptr);
  std::fputs("1,4,0\n", out);
  std::fclose(out);
  EXPECT_EQ(sandbox.ReadFile("var/lib/vigilagent/drive_c/test_log.csv"), "1,4,0\n");
  std::FILE* in = os::OpenFile("C:\\TEST_LOG.CSV", "rt");  // Linux names keep their case
  EXPECT_EQ(in, nullptr);
  in = os::OpenFile("c:\\test_log.csv", "rt");
  ASSERT_NE(in, nullptr);
  unsigned a = 0, b = 0, c = 0;
  EXPECT_EQ(std::fscanf(in, "%x,%x,%x", &a, &b, &c), 3);
  EXPECT_EQ(b, 4u);
  std::fclose(in);
  EXPECT_EQ(os::OpenFile("d:\\test_log.csv", "r"), nullptr);
  EXPECT_EQ(os::OpenFile("c:\\test_log.csv", ""), nullptr);
  EXPECT_EQ(os::OpenFile("c:\\test_log.csv", nullptr), nullptr);
}

TEST(ModulePath, IsThisExecutableAndIsCutSafely) {
  char expected[4096];
  ssize_t length = readlink("/proc/self/exe", expected, sizeof expected - 1);
  ASSERT_GT(length, 0);
  expected[length] = '\0';
  char path[260];
  EXPECT_EQ(os::GetModuleFileName(path, sizeof path), static_cast<std::size_t>(length));
  EXPECT_STREQ(path, expected);
  char small[6];
  std::memset(small, '#', sizeof small);
  EXPECT_EQ(os::GetModuleFileName(small, 5), 5u);  // cut: reported as the capacity
  EXPECT_EQ(std::string(small, 5), std::string(expected, 4) + '\0');
  EXPECT_EQ(small[5], '#');
  EXPECT_EQ(os::GetModuleFileName(small, 0), 0u);
  EXPECT_EQ(os::GetModuleFileName(nullptr, 10), 0u);
}

}  // namespace
