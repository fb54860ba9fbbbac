// Requests against the B720 scenario: filtering, no-command requests, failures, repetition.
#include <signal.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/agent_rig.h"
#include "contract/registry_paths.h"
#include "os/os.h"
#include "scenario_sensors.h"
#include "agent/sensors/sensor_conversion.h"
#include "agent/sensors/sensor_table.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

class RefreshE2eTest : public ::testing::Test {
 protected:
  RefreshE2eTest() : expected_(LoadScenarioTable("kelvo-b720.json")) {}
  void SetUp() override { ASSERT_EQ(h_.Start("kelvo-b720.json"), 0) << h_.Log(); }

  float Reading(std::size_t i) { return block::LoadF32(h_.block() + block::SensorRecordOffset(i), sensor::kReading); }
  uint16_t State(std::size_t i) { return block::LoadU16(h_.block() + block::SensorRecordOffset(i), sensor::kState); }
  std::size_t ReadCount() const {
    std::size_t n = 0;
    for (const auto& e : expected_.sensors) n += IsRead(e) ? 1 : 0;
    return n;
  }

  ScenarioTable expected_;
  AgentRig h_;
};

TEST_F(RefreshE2eTest, VoltageRequestChangesOnlyVoltageRecords) {
  RunResult r = h_.Vigilctl({"request", "2", "--wait"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (std::size_t i = 0; i < expected_.sensors.size(); ++i) {
    const ExpectedSensor& e = expected_.sensors[i];
    SCOPED_TRACE(i);
    if (IsRead(e) && e.sensorType == 2) {
      EXPECT_EQ(Reading(i), e.reading);
      EXPECT_EQ(State(i), e.state);
    } else {
      EXPECT_EQ(Reading(i), 0.0f);
      EXPECT_EQ(State(i), 0);
    }
  }
}

TEST_F(RefreshE2eTest, RequestFiveAnswersWithoutAnyDeviceCommand) {
  long before = h_.Stat("commands_0x51");
  ASSERT_GE(before, 0);
  RunResult r = h_.Vigilctl({"request", "5", "--wait"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(h_.Stat("commands_0x51"), before);
  // A full refresh right after does reach the simulator, once per readable sensor.
  ASSERT_EQ(h_.Vigilctl({"request", "0", "--wait"}).status, 0);
  EXPECT_EQ(h_.Stat("commands_0x51"), before + static_cast<long>(ReadCount()));
}

TEST_F(RefreshE2eTest, SaveRequestOnlyViaRegistryAndReloadKeepsIt) {
  RunResult r = h_.Vigilctl({"set-param", "cpu-overtemp-shutdown", "on"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string path = std::string(kParametersBasePath) + kAgentParameterSubkey;
  auto saved = [&](const char* name) {
    os::RegHandle key = nullptr;
    uint32_t value = 0xFFFFFFFF, size = 4, type = 0;
    if (os::RegOpenKey(path.c_str(), os::kKeyRead, &key) != os::kErrorSuccess) return value;
    os::RegQueryValue(key, name, &type, &value, &size);
    os::RegCloseKey(key);
    return value;
  };
  EXPECT_EQ(saved(kCpuOverTempShutdownValue), 1u);
  EXPECT_EQ(saved(kClearEventLogEnabledValue), 0u);
  // Control code 128 reloads the parameters from the registry: the saved value stays.
  block::StoreU32(h_.block(), block::kCpuOverTempShutdown, 0);
  ASSERT_TRUE(h_.agent().Signal(SIGUSR1));
  EXPECT_TRUE(WaitUntil([&] { return block::LoadU32(h_.block(), block::kCpuOverTempShutdown) == 1; }, 5s));
  EXPECT_EQ(saved(kCpuOverTempShutdownValue), 1u);
  EXPECT_TRUE(h_.agent().Running());
}

TEST_F(RefreshE2eTest, HundredRefreshesAllAnsweredAndNeverTorn) {
  for (int n = 0; n < 100; ++n) {
    RunResult r = h_.Vigilctl({"sensors", "--json"});
    ASSERT_EQ(r.status, 0) << "refresh " << n << ": " << r.err;
    nlohmann::json rows = nlohmann::json::parse(r.out);
    ASSERT_EQ(rows.size(), expected_.sensors.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const ExpectedSensor& e = expected_.sensors[i];
      if (!IsRead(e)) continue;
      ASSERT_EQ(rows[i]["reading"].get<float>(), e.reading) << "refresh " << n << " row " << i;
      ASSERT_EQ(rows[i]["state"], e.state) << "refresh " << n << " row " << i;
    }
  }
}

TEST_F(RefreshE2eTest, FailedCommandsLeaveThreeRecordsWithTheirReadingsMarkedUnknown) {
  ASSERT_EQ(h_.Vigilctl({"request", "0", "--wait"}).status, 0);
  // New answers for every readable sensor, none of which answered 3000 before: raw 3000 and the
  // critical status. 3000 reads as 300.0 degrees, 3.0000002 V (0x40400001) or 3000 RPM.
  auto readingOf3000 = [](uint8_t type) { return type == 1 ? 300.0f : type == 2 ? 3.0000002f : 3000.0f; };
  std::vector<std::size_t> readable;
  for (std::size_t i = 0; i < expected_.sensors.size(); ++i) {
    const ExpectedSensor& e = expected_.sensors[i];
    if (!IsRead(e)) continue;
    readable.push_back(i);
    RunResult set = h_.Ctl({"set-sensor", std::to_string(e.handle), "3000", "0xA0"});
    ASSERT_EQ(set.status, 0) << set.err << set.out;
  }
  // The six-second event log poll also goes through the device and may take a failure meant for
  // the sensors: then try again.
  bool clean = false;
  for (int attempt = 0; attempt < 3 && !clean; ++attempt) {
    ASSERT_EQ(h_.Vigilctl({"request", "0", "--wait"}).status, 0);  // everything at the new values...
    for (std::size_t k = 0; k < 3; ++k) {                         // ...then marked to tell them apart
      block::StoreF32(h_.block() + block::SensorRecordOffset(readable[k]), sensor::kReading, 1234.5f);
      block::StoreU16(h_.block() + block::SensorRecordOffset(readable[k]), sensor::kState, 4);
    }
    long reads = h_.Stat("commands_0x51");
    ASSERT_EQ(h_.Ctl({"fail-next", "3"}).status, 0);
    ASSERT_EQ(h_.Vigilctl({"request", "0", "--wait"}).status, 0);
    clean = h_.Stat("commands_0x51") == reads + static_cast<long>(readable.size()) - 3;
  }
  ASSERT_TRUE(clean);
  for (std::size_t k = 0; k < readable.size(); ++k) {
    std::size_t i = readable[k];
    const ExpectedSensor& e = expected_.sensors[i];
    SCOPED_TRACE(i);
    if (k < 3) {
      EXPECT_EQ(Reading(i), 1234.5f);
      EXPECT_EQ(State(i), kStateUnknown);
    } else {
      EXPECT_EQ(Reading(i), readingOf3000(e.sensorType));
      EXPECT_EQ(State(i), 2);
    }
  }
}

// vigilctl tells how many sensors a refresh could not read, and fails when it read none.
TEST_F(RefreshE2eTest, VigilctlSaysWhatCouldNotBeRead) {
  std::size_t readable = 0;
  std::size_t reportUnknown = 0;  // the scenario's own Unknown status (010) reads as state 1 too
  for (const ExpectedSensor& e : expected_.sensors) {
    readable += IsRead(e) ? 1 : 0;
    reportUnknown += IsRead(e) && e.state == kStateUnknown ? 1 : 0;
  }
  ASSERT_GT(readable, reportUnknown + 1);
  RunResult fresh = h_.Vigilctl({"sensors"});
  EXPECT_EQ(fresh.status, 0) << fresh.err;
  const std::string some = std::to_string(reportUnknown) + " of " + std::to_string(readable);
  EXPECT_EQ(fresh.err.find(some + " sensors"), reportUnknown == 0 ? std::string::npos : 10) << fresh.err;
  // Every sensor command fails, as with the platform gone.
  ASSERT_EQ(h_.Ctl({"fail-next", "100000", "command"}).status, 0);
  RunResult gone = h_.Vigilctl({"sensors"});
  EXPECT_EQ(gone.status, 1);
  const std::string all = std::to_string(readable) + " of " + std::to_string(readable);
  EXPECT_NE(gone.err.find(all + " sensors have no current reading"), std::string::npos) << gone.err;
  ASSERT_EQ(h_.Ctl({"fail-next", "0", "command"}).status, 0);
  RunResult back = h_.Vigilctl({"sensors"});
  EXPECT_EQ(back.status, 0) << back.err;
}

}  // namespace
}  // namespace vigil::test
