// ctl command lines against a core: what each changes, and what is refused.
#include <gtest/gtest.h>

#include <string>

#include "core/event_log.h"
#include "core_fixture.h"
#include "scenario/ctl_commands.h"
#include "scenario/scenario_loader.h"

namespace {

std::unique_ptr<hwsim::Core> Server() {
  auto core = simtest::NewCore();
  std::string error;
  std::string json = R"({"smbios": {"layout": "standard", "structures": [
      {"type": 27, "handle": 96, "formatted": "50 00 63 01 01 02 38 58 B8 0B"}]},
      "eventLog": {"firstRecordTime": 1000, "records": ["17 08 24 03 05 11 40 02"]}})";
  EXPECT_TRUE(hwsim::LoadScenarioText(json, "ctl.json", "/", core.get(), &error)) << error;
  return core;
}

struct Refused {
  std::string line;
  std::string reason;
};

TEST(ControlCommands, BadLinesAreRefusedWithAReasonAndChangeNothing) {
  const Refused cases[] = {
      {"", "empty command"},
      {"reboot", "unknown command 'reboot'"},
      {"append-record", "usage: append-record HEX"},
      {"append-record 0108zz", "bad record: 'z' is not a hex digit"},
      {"append-record 01", "2 to 68"},
      {"append-record 01092401010000 00", "does not match"},
      {"clear-log 1 2", "usage: clear-log"},
      {"clear-log -5", "bad first record time"},
      {"set-sensor 96 1", "usage: set-sensor"},
      {"set-sensor 97 1 1", "no probe or cooling device has handle 97"},
      {"set-sensor 96 65536 1", "bad raw value"},
      {"set-sensor 96 1 0x100", "bad status"},
      {"fail-next", "usage: fail-next N"},
      {"fail-next many", "bad count"},
      {"fail-next 2 sensors", "usage: fail-next N [any|smbios|log|command]"},
      {"malformed sideways", "usage: malformed"},
      {"stats now", "unknown command 'stats'"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.line);
    auto core = Server();
    std::string reply;
    EXPECT_FALSE(hwsim::RunControlCommand(*core, c.line, 5000, &reply));
    EXPECT_NE(reply.find(c.reason), std::string::npos) << reply;
    EXPECT_EQ(core->logLength, 8u);
    EXPECT_EQ(core->firstRecordTime, 1000u);
    EXPECT_EQ(core->failNext, 0u);
    EXPECT_EQ(hwsim::FindSensor(*core, 96)->raw, 3000);
  }
}

TEST(ControlCommands, EachCommandDoesItsOneThing) {
  auto core = Server();
  std::string reply;
  ASSERT_TRUE(hwsim::RunControlCommand(*core, "append-record 01 0C 24 03 05 11 40 03 25 00 00 00", 5000, &reply));
  EXPECT_EQ(reply, "position=8\n");
  EXPECT_EQ(hwsim::CountLogRecords(*core), 2u);

  ASSERT_TRUE(hwsim::RunControlCommand(*core, "set-sensor 0x60 0x8000 0x43", 5000, &reply));
  EXPECT_EQ(hwsim::FindSensor(*core, 0x60)->raw, 0x8000);
  EXPECT_EQ(hwsim::FindSensor(*core, 0x60)->status, 0x43);

  ASSERT_TRUE(hwsim::RunControlCommand(*core, "fail-next 3", 5000, &reply));
  EXPECT_EQ(core->failNext, 3u);
  EXPECT_EQ(core->failCode, 0u);
  ASSERT_TRUE(hwsim::RunControlCommand(*core, "fail-next 2 command", 5000, &reply));
  EXPECT_EQ(core->failNext, 2u);
  EXPECT_EQ(core->failCode, vigil::kIoctlDeviceCommand);
  ASSERT_TRUE(hwsim::RunControlCommand(*core, "malformed overrun", 5000, &reply));
  EXPECT_EQ(core->malformed, hwsim::Malformed::kOverrun);

  ASSERT_TRUE(hwsim::RunControlCommand(*core, "clear-log 0x2000", 5000, &reply));
  EXPECT_EQ(core->firstRecordTime, 0x2000u);
  EXPECT_EQ(core->logLength, 0u);
}

TEST(ControlCommands, ClearLogWithoutTimeAlwaysChangesTheIdentity) {
  auto core = Server();
  std::string reply;
  ASSERT_TRUE(hwsim::RunControlCommand(*core, "clear-log", 5000, &reply));
  EXPECT_EQ(core->firstRecordTime, 5000u);
  // Cleared twice within one second: the agent must still see a different log.
  ASSERT_TRUE(hwsim::RunControlCommand(*core, "clear-log", 5000, &reply));
  EXPECT_EQ(core->firstRecordTime, 5001u);
  EXPECT_EQ(reply, "firstRecordTime=5001\n");
}

TEST(ControlCommands, StatsPrintsOneNameValuePerLine) {
  auto core = Server();
  core->stats.sensorReads = 7;
  core->stats.alerts = 2;
  std::string reply;
  ASSERT_TRUE(hwsim::RunControlCommand(*core, "stats", 5000, &reply));
  EXPECT_NE(reply.find("commands_0x51=7\n"), std::string::npos);
  EXPECT_NE(reply.find("alerts_0x54=2\n"), std::string::npos);
  EXPECT_NE(reply.find("log_exchanges=0\n"), std::string::npos);
  EXPECT_NE(reply.find("smbios_reads=0\n"), std::string::npos);
  EXPECT_NE(reply.find("log_records=1\n"), std::string::npos);
}

}  // namespace
