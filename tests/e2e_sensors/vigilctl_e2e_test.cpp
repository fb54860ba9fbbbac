// vigilctl without an agent, against blocks it cannot trust, and the .reg round trip.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/agent_rig.h"
#include "os/os.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "support/agent_block.h"
#include "support/sandbox.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

RunResult Vigilctl(const std::vector<std::string>& args) { return Run(BinaryPath("vigilctl"), args, 20s); }

TEST(VigilctlE2eTest, NoBlockIsExitFourWithAMessage) {
  Sandbox sandbox;
  for (auto args : std::vector<std::vector<std::string>>{{"status"}, {"sensors"}, {"request", "0", "--wait"},
                                                         {"set-param", "clear-event-log", "on"}}) {
    RunResult r = Vigilctl(args);
    EXPECT_EQ(r.status, 4) << args[0];
    EXPECT_NE(r.err.find("no shared block"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(sandbox.Exists(std::string("dev/shm/") + block::kName));  // a client makes none
}

TEST(VigilctlE2eTest, TooSmallBlockIsRefused) {
  Sandbox sandbox;
  ASSERT_NE(HoldClientBlock(std::string(4096, '\x01')), nullptr);
  RunResult r = Vigilctl({"sensors", "--no-refresh"});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("smaller than"), std::string::npos) << r.err;
}

TEST(VigilctlE2eTest, StaleBlockIsReportedNotTrusted) {
  Sandbox sandbox;
  std::string stale(block::kSize, '\0');
  stale[block::kSensorCount] = '\xFF';  // count 0xFFFF in a block no agent serves
  stale[block::kSensorCount + 1] = '\xFF';
  ASSERT_NE(HoldClientBlock(stale), nullptr);  // held by a client, served by no agent
  RunResult sensors = Vigilctl({"sensors"});
  EXPECT_EQ(sensors.status, 3);
  EXPECT_NE(sensors.err.find("start-up"), std::string::npos) << sensors.err;
  RunResult status = Vigilctl({"status", "--json"});
  EXPECT_EQ(status.status, 0) << status.err;
  nlohmann::json header = nlohmann::json::parse(status.out);
  EXPECT_EQ(header["startupComplete"], 0);
  EXPECT_EQ(header["sensorCount"], 65535);
  // Without a refresh the table is shown, bounded by the 128 records the block can hold.
  RunResult listed = Vigilctl({"sensors", "--no-refresh", "--json"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(nlohmann::json::parse(listed.out).size(), block::kMaxSensors);
}

TEST(VigilctlE2eTest, UsageErrorsAreExitTwo) {
  Sandbox sandbox;
  for (auto args : std::vector<std::vector<std::string>>{{},
                                                         {"bogus"},
                                                         {"sensors", "--kind", "amps"},
                                                         {"set-param", "cpu-overtemp-shutdown", "maybe"},
                                                         {"request", "12x"},
                                                         {"request", "99999999999"},
                                                         {"reg", "import"}}) {
    EXPECT_EQ(Vigilctl(args).status, 2) << (args.empty() ? "" : args[0]);
  }
}

TEST(VigilctlE2eTest, StatusShowsTheAgentHeader) {
  AgentRig h;
  ASSERT_EQ(h.Start("kelvo-b720.json"), 0) << h.Log();
  RunResult r = h.Vigilctl({"status", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  nlohmann::json header = nlohmann::json::parse(r.out);
  EXPECT_EQ(header["identification"], nlohmann::json({1, 0x23, 1, 0x2B99, 0, 0x10}));
  EXPECT_EQ(header["startupComplete"], 1);
  EXPECT_EQ(header["sensorCount"], block::LoadU16(h.block(), block::kSensorCount));
  // The B720 type-1 structure stores the UUID bytes 6F 8A 3C 21 94 D7 4E 0B A5 C2 ...
  EXPECT_EQ(header["uuid"], "213c8a6f-d794-0b4e-a5c2-1b7d3e9f0a64");
}

TEST(VigilctlE2eTest, RegImportIsAllOrNothingAndExportReadsBack) {
  Sandbox sandbox;
  const std::string good =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\NVXAgents\\Test]\r\n"
      "\"Text\"=\"a \\\"b\\\" c:\\\\d\"\r\n"
      "\"Count\"=dword:0000000a\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\NVXAgents\\Test\\Sub]\r\n"
      "@=\"default\"\r\n";
  sandbox.WriteFile("good.reg", good);
  RunResult imported = Vigilctl({"reg", "import", sandbox.Path("good.reg")});
  ASSERT_EQ(imported.status, 0) << imported.err;

  sandbox.WriteFile("bad.reg",
                    "Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\NVXAgents\\Test]\n"
                    "\"Count\"=dword:00000063\n"
                    "\"Broken\"=dword:xyz\n");
  RunResult bad = Vigilctl({"reg", "import", sandbox.Path("bad.reg")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find(":5:"), std::string::npos) << bad.err;

  RunResult exported = Vigilctl({"reg", "export", "HKEY_LOCAL_MACHINE\\SOFTWARE\\NVXAgents\\Test"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(exported.out,
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\NVXAgents\\Test]\n"
            "\"Text\"=\"a \\\"b\\\" c:\\\\d\"\n"
            "\"Count\"=dword:0000000a\n\n"  // the bad file changed nothing
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\NVXAgents\\Test\\Sub]\n"
            "@=\"default\"\n\n");

  sandbox.WriteFile("delete.reg", "Windows Registry Editor Version 5.00\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\NVXAgents\\Test]\n");
  ASSERT_EQ(Vigilctl({"reg", "import", sandbox.Path("delete.reg")}).status, 0);
  EXPECT_EQ(Vigilctl({"reg", "export", "SOFTWARE\\NVXAgents\\Test"}).status, 1);
}

}  // namespace
}  // namespace vigil::test
