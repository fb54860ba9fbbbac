// Every model scenario: the table the agent builds, and what vigilctl shows after a refresh.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "support/agent_rig.h"
#include "scenario_sensors.h"
#include "agent/sensors/sensor_table.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"

namespace vigil::test {
namespace {

class ScenarioTableTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ScenarioTableTest, BlockTableFollowsTheModelRulesAndVigilctlShowsTheConversions) {
  ScenarioTable expected = LoadScenarioTable(GetParam());
  AgentRig h;
  ASSERT_EQ(h.Start(GetParam()), 0) << h.Log();

  uint8_t* b = h.block();
  ASSERT_EQ(block::LoadU16(b, block::kSensorCount), expected.sensors.size());
  for (std::size_t i = 0; i < expected.sensors.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    const ExpectedSensor& e = expected.sensors[i];
    const uint8_t* r = b + block::SensorRecordOffset(i);
    EXPECT_EQ(r[sensor::kOwnerId], e.ownerId);
    EXPECT_EQ(r[sensor::kSensorNumber], e.sensorNumber);
    EXPECT_EQ(r[sensor::kEntityId], e.entityId);
    EXPECT_EQ(r[sensor::kEntityInstance], e.entityInstance);
    EXPECT_EQ(r[sensor::kSensorType], e.sensorType);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + sensor::kName), 32), e.name);
  }

  RunResult run = h.Vigilctl({"sensors", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  nlohmann::json rows = nlohmann::json::parse(run.out);
  ASSERT_EQ(rows.size(), expected.sensors.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    const ExpectedSensor& e = expected.sensors[i];
    EXPECT_EQ(rows[i]["index"], i);
    EXPECT_EQ(rows[i]["sensorType"], e.sensorType);
    EXPECT_EQ(rows[i]["sensorNumber"], e.sensorNumber);
    EXPECT_EQ(rows[i]["ownerId"], e.ownerId);
    if (IsRead(e)) {
      EXPECT_EQ(rows[i]["reading"].get<float>(), e.reading) << e.raw;
      EXPECT_EQ(rows[i]["state"], e.state);
    } else {
      EXPECT_EQ(rows[i]["reading"].get<float>(), 0.0f);
      EXPECT_EQ(rows[i]["state"], 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Models, ScenarioTableTest,
                         ::testing::Values("kelvo-a140.json", "kelvo-a141.json", "kelvo-b720.json",
                                           "kelvo-c850.json", "unknown-model.json"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           name = name.substr(0, name.find('.'));
                           for (char& c : name) c = c == '-' ? '_' : c;
                           return name;
                         });

}  // namespace
}  // namespace vigil::test
