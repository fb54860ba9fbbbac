// Where the metrics go: the textfile replaced as a whole (also on Windows, where a rename over
// an existing file is not a given) and the listen address of serve-metrics.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

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
