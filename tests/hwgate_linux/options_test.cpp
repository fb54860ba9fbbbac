#include "config_file.h"
#include "options.h"

#include <gtest/gtest.h>

namespace hwlinux::testing {
namespace {

TEST(Options, ParsesOrNamesTheBadArgument) {
  Options options;
  std::string error;
  ASSERT_EQ(ParseOptions({"--sysfs-root", "/tmp/s", "--event-log", "ipmi", "--probe"}, &options, &error), 0);
  EXPECT_EQ(options.sysfsRoot, "/tmp/s");
  EXPECT_EQ(options.devRoot, "/dev");
  EXPECT_EQ(options.eventLog, LogChoice::kIpmi);
  EXPECT_TRUE(options.probe);
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--event-log", "bmc"}, {"--config"}, {"--dev-root", ""}, {"--verbose"}}) {
    EXPECT_EQ(ParseOptions(bad, &options, &error), -1) << bad[0];
    EXPECT_NE(error.find(bad[0] == "--event-log" ? "bmc" : bad[0]), std::string::npos) << error;
  }
}

TEST(ConfigFile, BindingsAndTheLineAtFault) {
  Config config;
  std::vector<Binding>& bindings = config.bindings;
  std::string error;
  ASSERT_EQ(ParseConfig("# probes\n\nbind 0x0030  CPU1 Temp \nbind 49 Fan 2\n", &config, &error), 0);
  ASSERT_EQ(bindings.size(), 2u);
  EXPECT_EQ(bindings[0].handle, 0x30);
  EXPECT_EQ(bindings[0].name, "CPU1 Temp");
  EXPECT_EQ(bindings[1].handle, 49);
  for (const char* bad : {"bind 0x10000 CPU\n", "bind 0x30\n", "bind x30 CPU\n", "unbind 0x30 CPU\n",
                          "scale in1 12V 6.0\n", "scale in1 \"12V\" 0\n", "scale in1 \"12V\" six\n",
                          "scale pwm1 \"Fan\" 2\n", "scale in1 \"12V\" 6 0 9\n", "scale /in1 \"12V\" 6\n"}) {
    EXPECT_EQ(ParseConfig(std::string("# ok\n") + bad, &config, &error), -1) << bad;
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  }
}

TEST(ConfigFile, ScaleLines) {
  Config config;
  std::string error;
  ASSERT_EQ(ParseConfig("scale in1 \"12V\" 6.0\nscale nct6775/in2 \" +5 V rail \" 2 -0.25\n", &config, &error), 0)
      << error;
  ASSERT_EQ(config.scales.size(), 2u);
  EXPECT_EQ(config.scales[0].chip, "");
  EXPECT_EQ(config.scales[0].channel, "in1");
  EXPECT_EQ(config.scales[0].name, "12V");
  EXPECT_EQ(config.scales[0].factor, 6.0);
  EXPECT_EQ(config.scales[0].offset, 0.0);
  EXPECT_EQ(config.scales[1].chip, "nct6775");
  EXPECT_EQ(config.scales[1].name, "+5 V rail");
  EXPECT_EQ(config.scales[1].offset, -0.25);
}

}  // namespace
}  // namespace hwlinux::testing
