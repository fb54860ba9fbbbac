// Where the metrics go: the textfile replaced as a whole (also on Windows, where a rename over
// an existing file is not a given) and the listen address of serve-metrics.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "command.h"
#include "metrics_scrape.h"
#include "metrics_server.h"

namespace vigilctl {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(TextfileTest, ReplacesTheFileWholeAndLeavesTheRestOfTheFolder) {
  const fs::path dir = fs::temp_directory_path() / ("vigil-textfile-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  std::ofstream(dir / "other.prom", std::ios::binary) << "other 1\n";
  ASSERT_EQ(WriteTextfile(dir.string(), "first 1\n"), kExitOk);
  ASSERT_EQ(WriteTextfile(dir.string(), "second 2\n"), kExitOk);  // over the existing file
  EXPECT_EQ(Read(dir / kTextfileName), "second 2\n");
  EXPECT_EQ(Read(dir / "other.prom"), "other 1\n");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 2u);
  EXPECT_EQ(WriteTextfile((dir / "missing").string(), "x 1\n"), kExitFailed);
  fs::remove_all(dir);
}

#ifndef _WIN32
// Another user who may add and rename entries in the folder could swap our temporary file for a
// link to a root-only file; a sticky folder stops that only when we own it.
TEST(TextfileTest, RefusesFoldersOthersMayRewriteAndWritesMode0644Regardless) {
  struct Case {
    mode_t mode;
    uid_t owner;  // 0: us (the tests run as root or as the folder's maker)
    bool written;
  };
  const Case cases[] = {{0755, 0, true},    {0700, 0, true},  {0775, 0, false},
                        {0777, 0, false},   {01777, 0, true}, {01777, 65534, false},
                        {01770, 0, true},   {0757, 0, false}};
  const bool root = geteuid() == 0;
  for (const Case& c : cases) {
    if (c.owner != 0 && !root) continue;
    const fs::path dir = fs::temp_directory_path() / ("vigil-textfile-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    ASSERT_EQ(::chmod(dir.c_str(), c.mode), 0);
    if (c.owner != 0) {
      ASSERT_EQ(::chown(dir.c_str(), c.owner, c.owner), 0);
    }
    const mode_t saved = ::umask(077);
    EXPECT_EQ(WriteTextfile(dir.string(), "x 1\n") == kExitOk, c.written) << std::oct << c.mode;
    ::umask(saved);
    struct stat st{};
    const bool exists = ::stat((dir / kTextfileName).c_str(), &st) == 0;
    EXPECT_EQ(exists, c.written) << std::oct << c.mode;
    if (exists) {
      EXPECT_EQ(st.st_mode & 07777, 0644u) << std::oct << c.mode;
    }
    fs::remove_all(dir);
  }
}
#endif

TEST(ListenAddressTest, AddressAndPort) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    int port;
  };
  const Case cases[] = {{"127.0.0.1:9764", true, "127.0.0.1", 9764}, {"[::1]:80", true, "::1", 80},
                        {"0.0.0.0:0", true, "0.0.0.0", 0},           {"localhost:65535", true, "localhost", 65535},
                        {"127.0.0.1:65536", false, "", 0},           {"127.0.0.1:", false, "", 0},
                        {":9764", false, "", 0},                     {"::1:9764", false, "", 0},
                        {"[::1:9764", false, "", 0},                 {"127.0.0.1:97x4", false, "", 0},
                        {"127.0.0.1:0000009764", false, "", 0},      {"9764", false, "", 0}};
  for (const Case& c : cases) {
    std::string host = "unchanged";
    int port = -1;
    EXPECT_EQ(ParseListenAddress(c.text, &host, &port), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(host, c.host) << c.text;
      EXPECT_EQ(port, c.port) << c.text;
    }
  }
}

}  // namespace
}  // namespace vigilctl
