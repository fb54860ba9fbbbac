// Refresh through the real driver channel code against a scripted device.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"
#include "scripted_device.h"
#include "sensor_block_fixture.h"
#include "agent/sensors/sensor_conversion.h"
#include "agent/sensors/sensor_refresh.h"
#include "agent/sensors/sensor_table.h"
#include "contract/block_layout.h"

namespace vigil::test {
namespace {

using Kind = ScriptedDevice::Kind;

// Handles of the model-3 inventory used below: records 0-1 temperatures, 2-3 voltages,
// 4-5 fans, then the seven discrete sensors.
constexpr uint16_t kTemp0 = 0x0100, kTemp1 = 0x0101, kVolt0 = 0x0200, kVolt1 = 0x0201,
                   kFan0 = 0x0300, kFan1 = 0x0301;

class SensorRefreshTest : public SensorBlockTest {
 protected:
  void SetUp() override {
    SensorBlockTest::SetUp();
    gModelIndex = ModelIndex(3);
    gInventory.temperatureProbes[0] = {kTemp0, 3, "CPU"};
    gInventory.temperatureProbes[1] = {kTemp1, 7, "Board"};
    gInventory.temperatureProbeCount = 2;
    gInventory.voltageProbes[0] = {kVolt0, 3, "Vcore"};
    gInventory.voltageProbes[1] = {kVolt1, 4, "-12V"};
    gInventory.voltageProbeCount = 2;
    gInventory.coolingDevices[0] = {kFan0, 0x58380201};
    gInventory.coolingDevices[1] = {kFan1, 0x583A0203};
    gInventory.coolingDeviceCount = 2;
    ASSERT_EQ(BuildSensorTable(), 0);
    ASSERT_EQ(Count(), 13);

    device_.Set(kTemp0, {Kind::kProbe, 0x63, 250});
    device_.Set(kTemp1, {Kind::kProbe, 0xA3, 0x8000});
    device_.Set(kVolt0, {Kind::kProbe, 0x80, 3300});
    device_.Set(kVolt1, {Kind::kProbe, 0xE0, 0xD11F});
    device_.Set(kFan0, {Kind::kFan, 0x60, 3000});
    device_.Set(kFan1, {Kind::kFan, 0x40, 0xFFFF});
  }

  void Request(int32_t code) { block::StoreS32(gBlock, block::kRequestCode, code); }

  ScriptedDevice device_;
};

TEST_F(SensorRefreshTest, FullRefreshStoresConvertedReadingsAndStates) {
  Request(kRequestRefreshAll);
  RefreshSensors();
  EXPECT_EQ(device_.badCommands(), 0u);
  EXPECT_EQ(device_.commands(), (std::vector<uint16_t>{kTemp0, kTemp1, kVolt0, kVolt1, kFan0, kFan1}));

  // Readings are the f32 nearest the exact products (see sensor_conversion_test.cpp).
  struct Row { float reading; uint16_t state; };
  const Row expected[] = {
      {25.0f, 0},                     // raw 250; status 011: OK
      {-1048575.0f, 2},               // no reading, state still from the status: critical
      {3.3000002f, 3},                // raw 3300 (0x40533334); 100: non-critical
      {-12.000001f, 5},               // raw 0xD11F (0xC1400001); 111: reserved
      {3000.0f, 0},
      {65535.0f, 1},                  // fans are unscaled and unsigned; 010: unknown
  };
  for (std::size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Reading(i), expected[i].reading);
    EXPECT_EQ(State(i), expected[i].state);
  }
  // Discrete records keep their built values.
  for (std::size_t i = 6; i < 13; ++i) {
    EXPECT_EQ(Reading(i), 0.0f);
    EXPECT_EQ(State(i), 0);
  }
}

struct FilterCase {
  int32_t code;
  std::vector<uint16_t> handles;
};

class RequestFilterTest : public SensorRefreshTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(RequestFilterTest, RequestCodeChoosesTheKindsRead) {
  Request(GetParam().code);
  RefreshSensors();
  EXPECT_EQ(device_.commands(), GetParam().handles) << "request " << GetParam().code;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, RequestFilterTest,
    ::testing::Values(FilterCase{0, {kTemp0, kTemp1, kVolt0, kVolt1, kFan0, kFan1}},
                      FilterCase{1, {kTemp0, kTemp1}}, FilterCase{2, {kVolt0, kVolt1}},
                      FilterCase{3, {kFan0, kFan1}}, FilterCase{4, {}}, FilterCase{5, {}},
                      FilterCase{8, {}}, FilterCase{-1, {}}, FilterCase{INT32_MIN, {}},
                      FilterCase{9, {}}, FilterCase{17, {}}),
    [](const auto& info) {
      const int64_t code = info.param.code;
      return code < 0 ? "code_minus_" + std::to_string(-code) : "code_" + std::to_string(code);
    });

TEST_F(SensorRefreshTest, VoltageRequestLeavesOtherRecordsAlone) {
  Request(kRequestRefreshVoltage);
  RefreshSensors();
  EXPECT_EQ(Reading(0), 0.0f);
  EXPECT_EQ(Reading(2), 3.3000002f);
  EXPECT_EQ(Reading(4), 0.0f);
}

TEST_F(SensorRefreshTest, FailedCommandKeepsTheReadingMarksItUnknownAndGoesOn) {
  for (std::size_t i = 0; i < 6; ++i) {
    block::StoreF32(Record(i), sensor::kReading, 7.5f);
    block::StoreU16(Record(i), sensor::kState, 4);
  }
  device_.FailCommand(1);
  device_.FailCommand(4);
  Request(kRequestRefreshAll);
  RefreshSensors();
  EXPECT_EQ(device_.commands().size(), 6u);
  for (std::size_t i : {1, 4}) {
    EXPECT_EQ(Reading(i), 7.5f) << i;
    EXPECT_EQ(State(i), kStateUnknown) << i;
  }
  EXPECT_EQ(Reading(0), 25.0f);
  EXPECT_EQ(Reading(5), 65535.0f);
}

TEST_F(SensorRefreshTest, RequestCodeIsReadAgainForEveryRecord) {
  Request(kRequestRefreshAll);
  device_.OnCommand(0, [this] { Request(kRequestRefreshFan); });
  RefreshSensors();
  EXPECT_EQ(device_.commands(), (std::vector<uint16_t>{kTemp0, kFan0, kFan1}));
}

TEST_F(SensorRefreshTest, SensorCountIsReadAgainAfterEveryRecord) {
  Request(kRequestRefreshAll);
  device_.OnCommand(0, [this] { SetCount(2); });
  RefreshSensors();
  EXPECT_EQ(device_.commands(), (std::vector<uint16_t>{kTemp0, kTemp1}));
}

TEST_F(SensorRefreshTest, RecordsOwnedElsewhereOrDiscreteAreNeverRead) {
  // Record 0 claims another owner; record 7 is a discrete sensor given a threshold type.
  Record(0)[sensor::kOwnerId] = 0x01;
  Record(7)[sensor::kEventReadingType] = 0x01;  // owner 0x21, but sensor type 5
  Request(kRequestRefreshAll);
  RefreshSensors();
  EXPECT_EQ(device_.commands(), (std::vector<uint16_t>{kTemp1, kVolt0, kVolt1, kFan0, kFan1}));
}

TEST_F(SensorRefreshTest, ThresholdTypeAloneMakesARecordEligible) {
  block::StoreU16(Record(0), sensor::kReadingMask, 0);
  Record(0)[sensor::kEventReadingType] = 0x01;
  block::StoreU16(Record(1), sensor::kReadingMask, 0);  // type 0x05 and no mask: skipped
  Request(kRequestRefreshTemperature);
  RefreshSensors();
  EXPECT_EQ(device_.commands(), (std::vector<uint16_t>{kTemp0}));
}

TEST_F(SensorRefreshTest, HostileSensorCountIsBoundedByTheTable) {
  // A foreign process claims 65535 records, every one of them a readable temperature.
  for (std::size_t i = 0; i < block::kMaxSensors; ++i) {
    uint8_t* r = Record(i);
    r[sensor::kOwnerId] = sensor::kOwnerDriverRead;
    r[sensor::kSensorType] = sensor::kTypeTemperature;
    r[sensor::kEventReadingType] = 0x01;
  }
  const std::vector<uint8_t> ring(storage_.begin() + block::kRingEntries, storage_.end());
  SetCount(0xFFFF);
  Request(kRequestRefreshAll);
  RefreshSensors();
  EXPECT_EQ(device_.commands().size(), block::kMaxSensors);
  EXPECT_EQ(std::vector<uint8_t>(storage_.begin() + block::kRingEntries, storage_.end()), ring);
}

TEST_F(SensorRefreshTest, HandleTableEntryIsTheCommandArgument) {
  gSensorHandles[4] = 0xBEEF;
  device_.Set(0xBEEF, {Kind::kFan, 0x60, 1234});
  Request(kRequestRefreshFan);
  RefreshSensors();
  EXPECT_EQ(device_.commands(), (std::vector<uint16_t>{0xBEEF, kFan1}));
  EXPECT_EQ(Reading(4), 1234.0f);
}

}  // namespace
}  // namespace vigil::test
