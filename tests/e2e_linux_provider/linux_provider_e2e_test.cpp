// hwgate-linux as a process in a sandbox, on a fixture sysfs tree (the Kelvo B720's real table
// bytes, a dmi-sysfs event log, hwmon channels), with the real agent and vigilctl on top.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/sandbox.h"
#include "sysfs_machine.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

void WriteFixtureMachine(const Sandbox& sandbox) {
  WriteFirmwareTable(sandbox, "fixtures/tables/kelvo-b720.bin");
  // The firmware's log: a memory error on DIMM handle 0x0027 and a boot.
  WriteFirmwareLog(sandbox,
                   std::string("\x01\x0C\x23\x10\x14\x22\x10\x03\x27\x00\x00\x00", 12) +
                       std::string("\x17\x08\x24\x02\x01\x10\x03\x33", 8),
                   512);
  // hwmon: one channel the firmware describes ("CPU1 Temp"), one it does not.
  const std::string hwmon = "sys/class/hwmon/hwmon0/";
  sandbox.WriteFile(hwmon + "name", "coretemp\n");
  sandbox.WriteFile(hwmon + "temp1_input", "47300\n");
  sandbox.WriteFile(hwmon + "temp1_label", "cpu1 temp\n");
  sandbox.WriteFile(hwmon + "temp2_input", "51000\n");
  sandbox.WriteFile(hwmon + "temp2_label", "Core 7\n");
  sandbox.WriteFile(hwmon + "temp2_crit", "50000\n");
}

TEST(LinuxProviderE2e, TheAgentSeesTheMachineThroughTheProvider) {
  Sandbox sandbox;
  WriteFixtureMachine(sandbox);
  Process provider(BinaryPath("hwgate-linux"), ProviderArgs(sandbox));
  ASSERT_TRUE(Serving(provider)) << provider.Stderr();
  EXPECT_NE(provider.Stderr().find("ipmi0 absent"), std::string::npos) << provider.Stderr();
  struct stat st;
  ASSERT_EQ(stat(sandbox.Path("run/hwgate.sock").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0660u);

  ASSERT_EQ(vigil::test::Run(BinaryPath("vigilctl"), {"reg", "import", SourcePath("fixtures/eventtables/Kelvo B720.reg")}, 20s).status, 0);
  Process agent(BinaryPath("vigilagent"), {});
  std::string events = "var/log/vigilagent/events.log";
  auto lines = [&] {
    std::string text = sandbox.Exists(events) ? sandbox.ReadFile(events) : "";
    return std::count(text.begin(), text.end(), '\n');
  };
  ASSERT_TRUE(WaitUntil([&] { return lines() >= 2; }, 30s)) << agent.Stderr();
  std::string reported = sandbox.ReadFile(events);
  EXPECT_NE(reported.find("Single-bit ECC memory error corrected at slot DIMM_A1"), std::string::npos) << reported;

  RunResult status = vigil::test::Run(BinaryPath("vigilctl"), {"status"}, 20s);
  EXPECT_EQ(status.out.find("00000000-0000-0000-0000-000000000000"), std::string::npos) << status.out;
  RunResult sensors = vigil::test::Run(BinaryPath("vigilctl"), {"sensors", "--kind", "temp"}, 30s);
  EXPECT_EQ(sensors.status, 0) << sensors.err;
  auto row = [&](const std::string& name) {
    size_t at = sensors.out.find(name);
    return at == std::string::npos ? std::string() : sensors.out.substr(at, sensors.out.find('\n', at) - at);
  };
  EXPECT_NE(row("CPU1 Temp").find("47.3"), std::string::npos) << sensors.out;        // bound to the firmware probe
  EXPECT_NE(row("CPU2 Temp").find("no reading"), std::string::npos) << sensors.out;  // firmware probe, nothing live
  std::string core = row("Core 7");                                                   // synthesized probe
  EXPECT_NE(core.find("51.0"), std::string::npos) << sensors.out;
  EXPECT_NE(core.find("Critical"), std::string::npos) << sensors.out;

  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.Wait(30s), 0);
  EXPECT_EQ(lines(), 2);
  provider.Signal(SIGTERM);
  EXPECT_EQ(provider.Wait(10s), 0);
  EXPECT_FALSE(sandbox.Exists("run/hwgate.sock"));
}

}  // namespace
}  // namespace vigil::test
