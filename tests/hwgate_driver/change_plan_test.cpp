// hwgate-simctl's plans, played through the driver's dispatch: a loaded scenario and every
// ctl command must leave the driver's core exactly where the Linux simulator's would be.
#include <gtest/gtest.h>

#include <cstring>

#include "change_plan.h"
#include "contract/le_bytes.h"
#include "control/control_codes.h"
#include "driver_test_support.h"
#include "scenario/ctl_commands.h"
#include "../support/test_name.h"  // this target has no tests/ include path

namespace {

using hwsim::Core;
using hwsim::control::Outcome;
namespace control = hwsim::control;

// Plays a plan as hwgate-simctl sends it; false at the first refused request.
bool Play(Core& driver, const std::vector<control::Request>& plan) {
  for (const control::Request& request : plan) {
    if (drivertest::Call(driver, request.code, request.input, 0).outcome != Outcome::kOk) return false;
  }
  return true;
}

std::unique_ptr<Core> Copy(const Core& core) { return std::make_unique<Core>(core); }

TEST(ChangePlan, LoadedScenarioAnswersLikeTheLinuxSimulator) {
  for (const std::string& name : drivertest::ScenarioNames()) {
    SCOPED_TRACE(name);
    auto wanted = drivertest::ScenarioCore(name);
    ASSERT_TRUE(wanted);
    auto driver = drivertest::EmptyCore();
    ASSERT_TRUE(Play(*driver, control::PlanChanges(*driver, *wanted)));
    EXPECT_TRUE(drivertest::SameState(*driver, *wanted));
    // What the agent reads: the table and the whole log, position by position.
    EXPECT_EQ(drivertest::Call(*driver, vigil::kIoctlReadSmbiosTable, {}, 8192).output,
              drivertest::Call(*wanted, vigil::kIoctlReadSmbiosTable, {}, 8192).output);
    for (uint16_t position = 0; position <= wanted->logLength; ++position) {
      std::vector<uint8_t> request(8, 0);
      vigil::le::Store16(request.data() + 4, position);
      request[6] = 68;
      ASSERT_EQ(drivertest::Call(*driver, vigil::kIoctlReadEventLog, request, 76).output,
                drivertest::Call(*wanted, vigil::kIoctlReadEventLog, request, 76).output);
    }
  }
}

TEST(ChangePlan, SwitchingScenariosStartsFromAnEmptyCore) {
  auto driver = drivertest::ScenarioCore("kelvo-c850.json");
  auto wanted = drivertest::ScenarioCore("kelvo-b720.json");
  ASSERT_TRUE(driver && wanted);
  driver->failNext = 5;
  driver->malformed = hwsim::Malformed::kZeroLength;
  std::vector<control::Request> plan = control::PlanChanges(*driver, *wanted);
  ASSERT_FALSE(plan.empty());
  EXPECT_EQ(plan[0].code, control::kIoctlReset);
  ASSERT_TRUE(Play(*driver, plan));
  EXPECT_TRUE(drivertest::SameState(*driver, *wanted));
}

TEST(ChangePlan, LoadingTheSameScenarioAgainSendsNothing) {
  auto driver = drivertest::ScenarioCore("kelvo-b720.json");
  auto wanted = drivertest::ScenarioCore("kelvo-b720.json");
  EXPECT_TRUE(control::PlanChanges(*driver, *wanted).empty());
}

struct CtlCase {
  const char* line;
  size_t requests;  // how many private requests the change takes
};

class ChangePlanCtl : public testing::TestWithParam<CtlCase> {};

TEST_P(ChangePlanCtl, DriverFollowsTheCommandRunOnACopy) {
  auto driver = drivertest::ScenarioCore("kelvo-b720.json");
  ASSERT_TRUE(driver);
  auto wanted = Copy(*driver);
  std::string reply;
  ASSERT_TRUE(hwsim::RunControlCommand(*wanted, GetParam().line, 1700000000, &reply)) << reply;
  std::vector<control::Request> plan = control::PlanChanges(*driver, *wanted);
  EXPECT_EQ(plan.size(), GetParam().requests);
  ASSERT_TRUE(Play(*driver, plan));
  EXPECT_TRUE(drivertest::SameState(*driver, *wanted));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ChangePlanCtl,
    testing::Values(CtlCase{"append-record 17 08 23 10 02 07 58 40", 1},
                    CtlCase{"clear-log", 1}, CtlCase{"clear-log 1696233520", 1},
                    CtlCase{"set-sensor 0x45 53535 0x6A", 0},  // the value it already has
                    CtlCase{"set-sensor 0x63 900 0xA3", 1}, CtlCase{"fail-next 3", 1},
                    CtlCase{"fail-next 2 command", 1},
                    CtlCase{"malformed overrun", 1}, CtlCase{"malformed zero-length", 1},
                    CtlCase{"stats", 0}),
    [](const auto& info) { return vigil::test::TestName(info.param.line); });

TEST(ChangePlan, ClearedAndRefilledLogIsWrittenAgain) {
  auto driver = drivertest::ScenarioCore("kelvo-b720.json");
  ASSERT_TRUE(driver);
  auto wanted = Copy(*driver);
  std::string reply;
  ASSERT_TRUE(hwsim::RunControlCommand(*wanted, "clear-log 1696233520", 0, &reply));
  ASSERT_TRUE(hwsim::RunControlCommand(*wanted, "append-record 10 04 AA BB", 0, &reply));
  std::vector<control::Request> plan = control::PlanChanges(*driver, *wanted);
  ASSERT_EQ(plan.size(), 2u);
  EXPECT_EQ(plan[0].code, control::kIoctlClearLog);
  ASSERT_TRUE(Play(*driver, plan));
  EXPECT_TRUE(drivertest::SameState(*driver, *wanted));
}

TEST(ChangePlan, ImplausibleSnapshotsAreRefused) {
  auto good = drivertest::ScenarioCore("kelvo-b720.json");
  ASSERT_TRUE(good);
  EXPECT_TRUE(control::PlausibleSnapshot(*good));
  using Spoil = void (*)(Core&);
  const std::vector<std::pair<const char*, Spoil>> spoils = {
      {"log longer than its area", [](Core& c) { c.logLength = c.logCapacity + 1; }},
      {"area beyond the array", [](Core& c) { c.logCapacity = hwsim::kMaxLogBytes + 1; }},
      {"zero-length record", [](Core& c) { c.log[1] = 0; }},
      {"record running past the log", [](Core& c) { c.logLength = 10; }},
      {"too many sensors", [](Core& c) { c.sensorCount = hwsim::kMaxSensors + 1; }},
  };
  for (const auto& [what, spoil] : spoils) {
    SCOPED_TRACE(what);
    auto core = Copy(*good);
    spoil(*core);
    EXPECT_FALSE(control::PlausibleSnapshot(*core));
  }
}

}  // namespace
