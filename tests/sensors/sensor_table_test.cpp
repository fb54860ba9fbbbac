// Table build: records, order, names and handles for the inventories a server can report.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"
#include "sensor_block_fixture.h"
#include "agent/sensors/sensor_table.h"

namespace vigil::test {
namespace {

// One expected record, written from the definition table of the product documentation.
struct Expected {
  uint8_t ownerId, number, entityId, entityInstance, capabilities, sensorType, eventReadingType;
  uint16_t readingMask;
  std::string name;  // the whole 32-byte field
};

const Expected kCpu1Fan{0x21, 0x19, 0x03, 1, 0xDD, 0x04, 0x05, 0x0002, PaddedName("CPU 1 Fan", 30)};
const Expected kSysFan1{0x21, 0x79, 0x1D, 1, 0xDD, 0x04, 0x05, 0x0002, PaddedName("System Fan 1", 29)};
const Expected kSysFan2{0x21, 0x7A, 0x1D, 2, 0xDD, 0x04, 0x05, 0x0002, PaddedName("System Fan 2", 29)};
const Expected kSysFan3{0x21, 0x7B, 0x1D, 3, 0xDD, 0x04, 0x05, 0x0002, PaddedName("System Fan 3", 29)};
const Expected kSysFan4{0x21, 0x7C, 0x1D, 4, 0xDD, 0x04, 0x05, 0x0002, PaddedName("System Fan 4", 29)};
const Expected kCpu2Fan{0x21, 0x1A, 0x03, 1, 0xDD, 0x04, 0x05, 0x0002, PaddedName("CPU 2 Fan", 30)};
const Expected kFrontFan{0x21, 0x7C, 0x1D, 4, 0xDD, 0x04, 0x05, 0x0002, PaddedName("Front Fan", 26)};
const Expected kRearFan{0x21, 0x7C, 0x1D, 4, 0xDD, 0x04, 0x05, 0x0002, PaddedName("Rear Fan", 25)};
Expected CpuFan(int n) {
  return {0x21, 0x19, 0x03, 1, 0xDD, 0x04, 0x05, 0x0002, PaddedName("CPU Fan " + std::to_string(n), 30)};
}

const std::string kNoName(sensor::kNameSize, '\0');
const Expected kDiscrete[7] = {
    {0x21, 0x5A, 0x0A, 1, 0x01, 0x08, 0x6F, 0, kNoName},
    {0x21, 0x78, 0x17, 1, 0x01, 0x05, 0x6F, 0, kNoName},
    {0x01, 0x01, 0x22, 1, 0x01, 0x0F, 0x6F, 0, kNoName},
    {0x01, 0x97, 0x06, 1, 0x02, 0x10, 0x6F, 0, kNoName},
    {0x01, 0x04, 0x20, 1, 0x01, 0x0E, 0x00, 0, kNoName},
    {0x21, 0x01, 0x20, 1, 0x01, 0x0C, 0x6F, 0, kNoName},
    {0x21, 0x02, 0x22, 1, 0x01, 0x13, 0x6F, 0, kNoName},
};

class SensorTableTest : public SensorBlockTest {
 protected:
  void AddTemperatureProbe(uint16_t handle, uint8_t location, const char* description) {
    AddProbe(gInventory.temperatureProbes, gInventory.temperatureProbeCount, handle, location, description);
  }
  void AddVoltageProbe(uint16_t handle, uint8_t location, const char* description) {
    AddProbe(gInventory.voltageProbes, gInventory.voltageProbeCount, handle, location, description);
  }
  void AddFan(uint16_t handle, uint32_t oem, const char* description = "") {
    CoolingDeviceRecord& fan = gInventory.coolingDevices[gInventory.coolingDeviceCount++];
    fan = {handle, oem, {}};
    std::snprintf(fan.description, sizeof fan.description, "%s", description);
  }

  void ExpectRecord(std::size_t i, const Expected& e) {
    SCOPED_TRACE("record " + std::to_string(i));
    const uint8_t* r = Record(i);
    EXPECT_EQ(r[sensor::kOwnerId], e.ownerId);
    EXPECT_EQ(r[sensor::kOwnerLun], 0);
    EXPECT_EQ(r[sensor::kSensorNumber], e.number);
    EXPECT_EQ(r[sensor::kEntityId], e.entityId);
    EXPECT_EQ(r[sensor::kEntityInstance], e.entityInstance);
    EXPECT_EQ(block::LoadU16(r, sensor::kFixedFFFF), 0xFFFF);
    EXPECT_EQ(r[sensor::kCapabilities], e.capabilities);
    EXPECT_EQ(r[sensor::kSensorType], e.sensorType);
    EXPECT_EQ(r[sensor::kEventReadingType], e.eventReadingType);
    EXPECT_EQ(block::LoadU16(r, sensor::kReadingMask), e.readingMask);
    EXPECT_EQ(block::LoadF32(r, sensor::kReading), 0.0f);
    EXPECT_EQ(block::LoadU16(r, sensor::kState), 0);
    EXPECT_EQ(r[sensor::kFixed3], 3);
    EXPECT_EQ(Name(i), e.name);
    // Every byte the layout leaves unnamed is zero.
    for (std::size_t z : {3, 4, 12, 13}) EXPECT_EQ(r[z], 0) << "byte " << z;
    for (std::size_t z = 16; z < 33; ++z) EXPECT_EQ(r[z], 0) << "byte " << z;
    for (std::size_t z = 40; z < 64; ++z) EXPECT_EQ(r[z], 0) << "byte " << z;
  }

  void ExpectDiscreteFrom(std::size_t first) {
    ASSERT_EQ(Count(), first + 7);
    for (std::size_t k = 0; k < 7; ++k) ExpectRecord(first + k, kDiscrete[k]);
  }

 private:
  static void AddProbe(ProbeRecord* list, uint32_t& count, uint16_t handle, uint8_t location,
                       const char* description) {
    ProbeRecord& p = list[count++];
    p.handle = handle;
    p.locationAndStatus = location;
    std::memset(p.description, 0, sizeof p.description);
    std::strncpy(p.description, description, sizeof p.description - 1);
  }
};

TEST_F(SensorTableTest, EmptyInventoryGivesTheSevenDiscreteSensors) {
  EXPECT_EQ(BuildSensorTable(), 0);
  ExpectDiscreteFrom(0);
}

TEST_F(SensorTableTest, ProbesTakeTheirRowByLocationAndKeepTheirOwnDescriptions) {
  AddTemperatureProbe(0x0100, 0x60 | 3, "Proc Temp");       // status bits do not count
  AddTemperatureProbe(0x0101, 0x60 | 5, "Ambient Temp");
  AddVoltageProbe(0x0200, 0x43, "Vcore");                    // low 5 bits 3: processor
  AddVoltageProbe(0x0201, 0x23, "12V");                      // low 5 bits 3 again
  AddVoltageProbe(0x0202, 0x04, "5V Standby");
  EXPECT_EQ(BuildSensorTable(), 0);

  ExpectRecord(0, {0x21, 0x09, 0x03, 1, 0xDD, 0x01, 0x05, 0x0002, NulName("Proc Temp")});
  ExpectRecord(1, {0x21, 0x32, 0x07, 1, 0x5D, 0x01, 0x05, 0x0002, NulName("Ambient Temp")});
  ExpectRecord(2, {0x21, 0x11, 0x03, 1, 0xDD, 0x02, 0x05, 0x0002, NulName("Vcore")});
  ExpectRecord(3, {0x21, 0x11, 0x03, 1, 0xDD, 0x02, 0x05, 0x0002, NulName("12V")});
  ExpectRecord(4, {0x21, 0x40, 0x07, 1, 0x5D, 0x02, 0x05, 0x0002, NulName("5V Standby")});
  ExpectDiscreteFrom(5);
  const uint16_t handles[] = {0x0100, 0x0101, 0x0200, 0x0201, 0x0202};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(gSensorHandles[i], handles[i]);
}

// One fan at a time through the model rules.
struct FanCase {
  const char* label;
  int32_t model;
  uint32_t oem;
  bool recorded;
  Expected expected;
};

class FanRuleTest : public SensorTableTest, public ::testing::WithParamInterface<FanCase> {};

TEST_P(FanRuleTest, ChoosesTheDefinitionOrLeavesTheFanOut) {
  const FanCase& c = GetParam();
  gModelIndex = ModelIndex(c.model);
  AddFan(0x0300, c.oem);
  ASSERT_EQ(BuildSensorTable(), 0);
  if (c.recorded) {
    ExpectRecord(0, c.expected);
    EXPECT_EQ(gSensorHandles[0], 0x0300);
    ExpectDiscreteFrom(1);
  } else {
    ExpectDiscreteFrom(0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Models, FanRuleTest,
    ::testing::Values(
        FanCase{"m0_1", 0, 0x00000001, true, kCpu1Fan},
        FanCase{"m0_2", 0, 0x00000002, true, kSysFan1},
        FanCase{"m0_3_high_bytes_ignored", 0, 0xABCDEF03, true, kSysFan2},
        FanCase{"m0_4_unknown", 0, 0x00000004, false, {}},
        FanCase{"m0_0_unknown", 0, 0x00000000, false, {}},
        FanCase{"m1_1", 1, 0x00000101, true, kCpu1Fan},
        FanCase{"m1_3", 1, 0x00000003, true, kSysFan2},
        FanCase{"m3_fan1", 3, 0x58380201, true, kCpu1Fan},
        FanCase{"m3_fan2", 3, 0x58390202, true, kCpu2Fan},
        FanCase{"m3_fan3", 3, 0x583A0203, true, kFrontFan},
        FanCase{"m3_fan4", 3, 0x583B0204, true, kRearFan},
        FanCase{"m3_low_byte_alone", 3, 0x00000001, false, {}},
        FanCase{"m3_wrong_high_byte", 3, 0x59380201, false, {}},
        FanCase{"m3_keys_crossed", 3, 0x58390201, false, {}},
        FanCase{"m4_1", 4, 0x00000001, true, CpuFan(1)},
        FanCase{"m4_4", 4, 0x00000004, true, CpuFan(4)},
        FanCase{"m4_5_low_byte_only", 4, 0x12345605, true, kSysFan1},
        FanCase{"m4_6", 4, 0x00000006, true, kSysFan2},
        FanCase{"m4_7", 4, 0x00000007, true, kSysFan3},
        FanCase{"m4_8", 4, 0x00000008, true, kSysFan4},
        FanCase{"m4_9_unknown", 4, 0x00000009, false, {}},
        FanCase{"m4_0_unknown", 4, 0x00000100, false, {}}),
    [](const ::testing::TestParamInfo<FanCase>& info) { return std::string(info.param.label); });

// With the generic set, every cooling device is a fan under its firmware's name, whatever
// its OEM value; the numbering of unnamed ones counts every cooling device.
TEST_F(SensorTableTest, GenericSetNamesEveryFanByItsDescriptionOrNumber) {
  gGenericSetInUse = true;
  AddTemperatureProbe(0x0100, 3, "CPU Temp");
  AddFan(0x0045, 0x00000000, "Cooling Dev 1");
  AddFan(0x0048, 0x00000000);                       // no description: named by its place
  AddFan(0x0058, 0x00000001, "FAN3");               // a model-0 key no longer picks "CPU 1 Fan"
  AddFan(0x005E, 0xFFFFFFFF);
  AddFan(0x0069, 0x58380201, "Power Supply 1 Fan Rear Left Cu");  // 31 characters, all kept
  ASSERT_EQ(BuildSensorTable(), 0);
  const char* names[] = {"Cooling Dev 1", "Fan 2", "FAN3", "Fan 4", "Power Supply 1 Fan Rear Left Cu"};
  const uint16_t handles[] = {0x0045, 0x0048, 0x0058, 0x005E, 0x0069};
  for (std::size_t i = 0; i < 5; ++i) {
    ExpectRecord(1 + i, {0x21, 0x79, 0x1D, 1, 0xDD, 0x04, 0x05, 0x0002, NulName(names[i])});
    EXPECT_EQ(gSensorHandles[1 + i], handles[i]);
  }
  ExpectDiscreteFrom(6);
}

TEST_F(SensorTableTest, WithoutGenericSetDescriptionsAreIgnored) {
  AddFan(0x0300, 0x00000001, "Cooling Dev 1");
  AddFan(0x0301, 0x00000000, "Cooling Dev 2");  // no row, as before
  ASSERT_EQ(BuildSensorTable(), 0);
  ExpectRecord(0, kCpu1Fan);
  ExpectDiscreteFrom(1);
}

TEST_F(SensorTableTest, GenericSetFillsTheWholeFanList) {
  gGenericSetInUse = true;
  for (uint16_t i = 0; i < kMaxCoolingDevices; ++i) AddFan(0x3000 + i, 0);
  ASSERT_EQ(BuildSensorTable(), 0);
  EXPECT_EQ(Count(), 32 + 7);
  EXPECT_EQ(Name(31), NulName("Fan 32"));
  EXPECT_EQ(gSensorHandles[31], 0x3000 + 31);
}

TEST_F(SensorTableTest, UnmatchedFanLeavesNoHoleInTheHandleTable) {
  gModelIndex = ModelIndex(3);
  AddFan(0x0301, 0x58380201);
  AddFan(0x0302, 0x00000002);  // no row: its handle entry is taken by the next sensor
  AddFan(0x0303, 0x583B0204);
  ASSERT_EQ(BuildSensorTable(), 0);
  ExpectRecord(0, kCpu1Fan);
  ExpectRecord(1, kRearFan);
  EXPECT_EQ(gSensorHandles[0], 0x0301);
  EXPECT_EQ(gSensorHandles[1], 0x0303);
  ExpectDiscreteFrom(2);
}

TEST_F(SensorTableTest, ModelWithoutFanRulesFailsAtTheFirstCoolingDevice) {
  AddTemperatureProbe(0x0100, 3, "CPU");
  AddFan(0x0300, 0x00000001);
  for (int32_t model : {2, 5, -1}) {
    SCOPED_TRACE(model);
    gModelIndex = ModelIndex(model);
    EXPECT_EQ(BuildSensorTable(), -1);
    EXPECT_EQ(Count(), 1);  // the probe stays, no discrete sensor follows
  }
}

TEST_F(SensorTableTest, ModelWithoutFanRulesButNoFansStillBuilds) {
  gModelIndex = ModelIndex(2);
  EXPECT_EQ(BuildSensorTable(), 0);
  ExpectDiscreteFrom(0);
}

TEST_F(SensorTableTest, FullInventoryBuildsEveryRecordWithinTheLimit) {
  gModelIndex = ModelIndex(4);
  for (uint16_t i = 0; i < kMaxProbes; ++i) {
    AddTemperatureProbe(0x1000 + i, 3, "T");
    AddVoltageProbe(0x2000 + i, 1, "V");
  }
  for (uint16_t i = 0; i < kMaxCoolingDevices; ++i) AddFan(0x3000 + i, 1 + i % 8);
  ASSERT_EQ(BuildSensorTable(), 0);
  EXPECT_EQ(Count(), 32 + 32 + 32 + 7);
  EXPECT_EQ(gSensorHandles[95], 0x3000 + 31);
  EXPECT_EQ(Record(Count() - 1)[sensor::kSensorType], 0x13);
}

TEST_F(SensorTableTest, AppendStopsAtOneHundredAndTwentyEightRecords) {
  SetCount(127);
  AppendSensor(0, nullptr);
  EXPECT_EQ(Count(), 128);
  std::vector<uint8_t> before(storage_);
  AppendSensor(0, nullptr);
  EXPECT_EQ(Count(), 128);
  EXPECT_EQ(storage_, before);
}

TEST_F(SensorTableTest, HostileCountWritesNothingOutsideTheTable) {
  // A foreign count of 65535 must not place a record past the sensor area.
  SetCount(0xFFFF);
  std::vector<uint8_t> before(storage_);
  AppendSensor(16, nullptr);
  EXPECT_EQ(storage_, before);
}

TEST_F(SensorTableTest, BuildClearsTheCountersItOwnsAndLeavesOffset46) {
  for (std::size_t o : {block::kSensorCount, block::kSensorSpare42, block::kSensorSpare44,
                        std::size_t{46}, block::kSensorSpare48}) {
    block::StoreU16(gBlock, o, 0x5A5A);
  }
  ASSERT_EQ(BuildSensorTable(), 0);
  EXPECT_EQ(Count(), 7);
  EXPECT_EQ(block::LoadU16(gBlock, block::kSensorSpare42), 0);
  EXPECT_EQ(block::LoadU16(gBlock, block::kSensorSpare44), 0);
  EXPECT_EQ(block::LoadU16(gBlock, block::kSensorSpare48), 0);
  EXPECT_EQ(block::LoadU16(gBlock, 46), 0x5A5A);
}

TEST_F(SensorTableTest, RebuildReplacesStaleRecordsAndDropsStaleReadings) {
  block::StoreF32(Record(0), sensor::kReading, 99.5f);
  block::StoreU16(Record(0), sensor::kState, 2);
  ASSERT_EQ(BuildSensorTable(), 0);
  ExpectRecord(0, kDiscrete[0]);
}

TEST_F(SensorTableTest, InventoryCountsBeyondTheListsAreBounded) {
  gInventory.temperatureProbeCount = 1000;  // a parser fault must not walk off the list
  gInventory.voltageProbeCount = 0xFFFFFFFF;
  gInventory.coolingDeviceCount = 77;
  ASSERT_EQ(BuildSensorTable(), 0);
  EXPECT_EQ(Count(), 32 + 32 + 7);  // the zeroed fans (OEM 0) match no model-0 row
}

}  // namespace
}  // namespace vigil::test
