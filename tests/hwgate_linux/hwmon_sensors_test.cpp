#include "hwmon_sensors.h"

#include <gtest/gtest.h>

#include "fixture_tree.h"

namespace hwlinux::testing {
namespace {

// Two chips whose hwmonN numbers come in the opposite order of their device paths.
void WriteTree(const FixtureTree& tree, const std::string& first, const std::string& second) {
  tree.Write("devices/platform/coretemp.0/hwmon/" + first + "/name", "coretemp\n");
  tree.Write("devices/platform/coretemp.0/hwmon/" + first + "/temp1_input", "45500\n");
  tree.Write("devices/platform/coretemp.0/hwmon/" + first + "/temp1_label", "Package id 0\n");
  tree.Write("devices/platform/coretemp.0/hwmon/" + first + "/temp1_max", "80000\n");
  tree.Write("devices/platform/coretemp.0/hwmon/" + first + "/temp1_crit", "100000\n");
  tree.Write("devices/platform/nct6775.656/hwmon/" + second + "/name", "nct6775\n");
  tree.Write("devices/platform/nct6775.656/hwmon/" + second + "/in0_input", "1104\n");
  tree.Write("devices/platform/nct6775.656/hwmon/" + second + "/in0_alarm", "1\n");
  tree.Write("devices/platform/nct6775.656/hwmon/" + second + "/fan2_input", "1650\n");
  tree.Write("devices/platform/nct6775.656/hwmon/" + second + "/fan2_min", "300\n");
  tree.Write("devices/platform/nct6775.656/hwmon/" + second + "/pwm1", "128\n");
  tree.Link("class/hwmon/" + first, "../../devices/platform/coretemp.0/hwmon/" + first);
  tree.Link("class/hwmon/" + second, "../../devices/platform/nct6775.656/hwmon/" + second);
}

TEST(HwmonSensors, ListsByDeviceNotByHwmonNumber) {
  std::vector<std::vector<LiveSensor>> lists;
  for (auto [first, second] : {std::pair{"hwmon0", "hwmon1"}, std::pair{"hwmon1", "hwmon0"}}) {
    FixtureTree tree;
    WriteTree(tree, first, second);
    HwmonSensors source(SystemFiles(), tree.Root());
    std::vector<LiveSensor> sensors;
    ASSERT_EQ(source.ListSensors(&sensors), 0);
    lists.push_back(sensors);
  }
  ASSERT_EQ(lists[0].size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(lists[0][i].name, lists[1][i].name);
    EXPECT_EQ(lists[0][i].origin, lists[1][i].origin);
  }
  EXPECT_EQ(lists[0][0].name, "Package id 0");
  EXPECT_EQ(lists[0][0].origin, "hwmon coretemp /devices/platform/coretemp.0");
  EXPECT_EQ(lists[0][1].name, "nct6775 fan2");  // no label: chip and channel
  EXPECT_EQ(lists[0][2].kind, SensorKind::kVoltage);
}

TEST(HwmonSensors, ReadsInTheAgentsUnitsWithSeverity) {
  FixtureTree tree;
  WriteTree(tree, "hwmon3", "hwmon4");
  HwmonSensors source(SystemFiles(), tree.Root());
  std::vector<LiveSensor> sensors;
  ASSERT_EQ(source.ListSensors(&sensors), 0);
  struct Case {
    const char* file;
    const char* value;
    size_t sensor;
    int32_t expected;
    Severity severity;
  };
  const std::string chip0 = "devices/platform/coretemp.0/hwmon/hwmon3/", chip1 = "devices/platform/nct6775.656/hwmon/hwmon4/";
  for (const Case& c : {Case{"temp1_input", "45500", 0, 455, Severity::kOk},
                        Case{"temp1_input", "85000", 0, 850, Severity::kNonCritical},
                        Case{"temp1_input", "100000", 0, 1000, Severity::kCritical},
                        Case{"fan2_input", "1650", 1, 1650, Severity::kOk},
                        Case{"fan2_input", "120", 1, 120, Severity::kNonCritical},
                        Case{"in0_input", "1104", 2, 1104, Severity::kNonCritical}}) {  // alarm flag only
    tree.Write((c.sensor == 0 ? chip0 : chip1) + c.file, std::string(c.value) + "\n");
    LiveReading reading;
    ASSERT_EQ(source.ReadSensor(sensors[c.sensor], &reading), 0) << c.file << "=" << c.value;
    EXPECT_TRUE(reading.valid);
    EXPECT_EQ(reading.value, c.expected) << c.file << "=" << c.value;
    EXPECT_EQ(reading.severity, c.severity) << c.file << "=" << c.value;
  }
  tree.Write(chip0 + "temp1_input", "garbage\n");
  LiveReading reading;
  EXPECT_EQ(source.ReadSensor(sensors[0], &reading), -1);
  EXPECT_FALSE(reading.valid);
}

TEST(HwmonSensors, ConvertsToTheAgentsUnitsWithoutOverflow) {
  const ChannelScale twelveVolt{"", "in1", "12V", 6.0, 0.0};
  const ChannelScale offset{"", "in2", "5V", 2.0, -0.25};
  struct Case {
    SensorKind kind;
    int64_t raw;
    const ChannelScale* scale;
    bool fits;
    int32_t expected;
  };
  for (const Case& c : {Case{SensorKind::kTemperature, 45549, nullptr, true, 455},
                        Case{SensorKind::kTemperature, 45550, nullptr, true, 456},
                        Case{SensorKind::kTemperature, -5050, nullptr, true, -51},
                        Case{SensorKind::kVoltage, 12120, nullptr, true, 12120},
                        Case{SensorKind::kVoltage, 2016, &twelveVolt, true, 12096},  // 2.016 V pin x 6
                        Case{SensorKind::kVoltage, 2500, &offset, true, 4750},       // 5.0 V - 0.25 V
                        Case{SensorKind::kTemperature, INT64_MIN, nullptr, false, 0},
                        Case{SensorKind::kFan, INT64_MAX, nullptr, false, 0},
                        Case{SensorKind::kVoltage, 4294967296, nullptr, false, 0}}) {
    int32_t value = 0;
    EXPECT_EQ(HwmonToAgentUnits(c.kind, c.raw, &value, c.scale), c.fits) << c.raw;
    if (c.fits) {
      EXPECT_EQ(value, c.expected) << c.raw;
    }
  }
}

// lm90-style chips keep a last value in *_input when the diode fails; *_fault says so.
TEST(HwmonSensors, AFailedChannelHasNoReadingAndAScaledOneItsRailValue) {
  FixtureTree tree;
  const std::string chip = "devices/platform/nct6775.656/hwmon/hwmon2/";
  tree.Write(chip + "name", "nct6775\n");
  tree.Write(chip + "temp2_input", "127875\n");
  tree.Write(chip + "temp2_crit", "85000\n");
  tree.Write(chip + "temp2_fault", "1\n");
  tree.Write(chip + "fan1_input", "0\n");
  tree.Write(chip + "fan1_fault", "0\n");
  tree.Write(chip + "in1_input", "2016\n");
  tree.Link("class/hwmon/hwmon2", "../../" + chip);
  HwmonSensors source(SystemFiles(), tree.Root(), {{"nct6775", "in1", "12V", 6.0, 0.0}});
  std::vector<LiveSensor> sensors;
  ASSERT_EQ(source.ListSensors(&sensors), 0);
  ASSERT_EQ(sensors.size(), 3u);  // sorted by label: 12V, nct6775 fan1, nct6775 temp2
  EXPECT_EQ(sensors[0].name, "12V");
  LiveReading reading;
  ASSERT_EQ(source.ReadSensor(sensors[0], &reading), 0);
  EXPECT_TRUE(reading.valid);
  EXPECT_EQ(reading.value, 12096);
  EXPECT_TRUE(reading.scaled);
  EXPECT_EQ(reading.pinValue, 2016);
  ASSERT_EQ(source.ReadSensor(sensors[1], &reading), 0);
  EXPECT_TRUE(reading.valid);  // fault flag present but clear: a stopped fan is a reading
  ASSERT_EQ(source.ReadSensor(sensors[2], &reading), 0);
  EXPECT_FALSE(reading.valid);
  tree.Write(chip + "temp2_fault", "0\n");
  ASSERT_EQ(source.ReadSensor(sensors[2], &reading), 0);
  EXPECT_TRUE(reading.valid);
  EXPECT_EQ(reading.value, 1279);
  EXPECT_EQ(reading.severity, Severity::kCritical);
}

}  // namespace
}  // namespace hwlinux::testing
