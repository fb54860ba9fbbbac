// SDR threshold sensors: which records are served, how raw readings become the agent's units,
// what a refresh costs, and the BMC's failures.
#include "ipmi/sdr_sensor_source.h"

#include <gtest/gtest.h>

#include "ipmi/ipmi_codes.h"
#include "ipmi/sensor_key.h"
#include "ipmi_builders.h"

namespace hwlinux::ipmi {
namespace {

using testing::Sdr;
using testing::SdrFields;
using Fault = ScriptedBmc::Fault;

SdrFields Fields(uint8_t number, uint8_t sensorType, uint8_t unit, const char* name) {
  SdrFields s;
  s.number = number;
  s.sensorType = sensorType;
  s.unit = unit;
  s.name = name;
  return s;
}

TEST(SdrConversion, RawReadingsInTheAgentsUnits) {
  struct Case {
    const char* what;
    SdrFields fields;
    uint8_t raw;
    bool valid;
    int32_t value;
  };
  SdrFields volts = Fields(2, 0x02, 4, "12V");
  volts.m = 63, volts.k2 = -3;  // 63 mV a step
  SdrFields offset = Fields(3, 0x01, 1, "Inlet");
  offset.m = 5, offset.b = -4, offset.k1 = 1, offset.k2 = -1;  // (5x - 40) / 10 degrees
  SdrFields twos = offset;
  twos.units1 = 0x80;
  SdrFields ones = offset;
  ones.units1 = 0x40;
  SdrFields none = offset;
  none.units1 = 0xC0;
  SdrFields negativeM = Fields(4, 0x04, 18, "FAN1");
  negativeM.m = -2, negativeM.b = 500, negativeM.k2 = 1;  // (500 - 2x) * 10 RPM
  SdrFields fahrenheit = Fields(5, 0x01, 2, "Ambient");
  SdrFields kelvin = Fields(6, 0x01, 3, "Board");
  SdrFields compact = Fields(7, 0x01, 1, "Compact");
  compact.type = 0x02;
  SdrFields square = volts;
  square.k2 = 0;
  square.m = 1;
  const Case cases[] = {
      {"volts to mV", volts, 190, true, 11970},
      {"offset and exponents, tenths of a degree", offset, 100, true, 460},
      {"2's complement reading", twos, 0xF6, true, -90},
      {"1's complement reading", ones, 0xF5, true, -90},
      {"no analog reading", none, 10, false, 0},
      {"negative M, positive K2", negativeM, 50, true, 4000},
      {"Fahrenheit to Celsius", fahrenheit, 212, true, 1000},
      {"Kelvin to Celsius", kelvin, 44, true, -2292},  // -229.15 degrees
      {"compact: the raw reading is the value", compact, 45, true, 450},
  };
  for (const Case& c : cases) {
    SdrSensor sensor;
    const std::vector<uint8_t> record = Sdr(c.fields);
    ASSERT_TRUE(ParseSensorRecord(record.data(), record.size(), &sensor)) << c.what;
    int32_t value = 0;
    EXPECT_EQ(ConvertReading(sensor, c.raw, &value), c.valid) << c.what;
    if (c.valid) {
      EXPECT_EQ(value, c.value) << c.what;
    }
  }
}

TEST(SdrRecords, OnlyServedThresholdSensorsAreParsed) {
  SdrFields discrete = Fields(1, 0x01, 1, "Discrete");
  discrete.eventType = 0x6F;
  SdrFields percentFan = Fields(2, 0x04, 19, "FAN %");
  SdrFields software = Fields(3, 0x01, 1, "SW");
  software.owner = 0x41;
  SdrFields current = Fields(4, 0x03, 5, "Amps");
  for (const SdrFields& s : {discrete, percentFan, software, current}) {
    SdrSensor sensor;
    const auto record = Sdr(s);
    EXPECT_FALSE(ParseSensorRecord(record.data(), record.size(), &sensor)) << s.name;
  }
  const auto good = Sdr(Fields(9, 0x02, 4, "  P3V3  "));
  SdrSensor sensor;
  for (std::size_t cut = 0; cut < 48; ++cut) {
    EXPECT_FALSE(ParseSensorRecord(good.data(), cut, &sensor)) << cut;
  }
  ASSERT_TRUE(ParseSensorRecord(good.data(), good.size(), &sensor));
  EXPECT_EQ(sensor.live.name, "P3V3");
  EXPECT_EQ(sensor.live.kind, SensorKind::kVoltage);
  EXPECT_EQ(sensor.live.key, SensorKey(0x20, 0, 9));
  // 6-bit packed ASCII: "CPU1" in three bytes.
  auto packed = Sdr(Fields(9, 0x02, 4, "xxx"));
  packed[47] = 0x83;
  packed[48] = 0x23;
  packed[49] = 0x5C;
  packed[50] = 0x47;
  ASSERT_TRUE(ParseSensorRecord(packed.data(), packed.size(), &sensor));
  EXPECT_EQ(sensor.live.name, "CPU1");
}

class SdrSource : public ::testing::Test {
 protected:
  void SetUp() override {
    bmc_.AddSdr(Sdr(Fields(0x30, 0x01, 1, "CPU Temp")), 100);
    SdrFields discrete = Fields(0x31, 0x01, 1, "Presence");
    discrete.eventType = 0x6F;
    bmc_.AddSdr(Sdr(discrete), 100);
    SdrFields remote = Fields(0x32, 0x04, 18, "FAN1");
    remote.owner = 0x2C;
    remote.lun = 0x61;  // channel 6, LUN 1
    remote.type = 0x02;
    bmc_.AddSdr(Sdr(remote), 100);
    bmc_.readings[0x30] = {55, 0x40, 0x00};
    bmc_.readings[0x32] = {90, 0x40, 0x00};
  }
  std::vector<LiveSensor> List() {
    std::vector<LiveSensor> out;
    EXPECT_EQ(source_.ListSensors(&out), 0);
    return out;
  }
  ScriptedBmc bmc_;
  SdrSensorSource source_{bmc_};
};

TEST_F(SdrSource, ListsThresholdSensorsAndReadsEachInOneRoundTrip) {
  const auto sensors = List();
  ASSERT_EQ(sensors.size(), 2u);
  EXPECT_EQ(sensors[0].name, "CPU Temp");
  EXPECT_EQ(sensors[1].key, SensorKey(0x2C, 0x61, 0x32));
  bmc_.exchanges = 0;
  LiveReading reading;
  for (const auto& sensor : sensors) ASSERT_EQ(source_.ReadSensor(sensor, &reading), 0);
  EXPECT_EQ(bmc_.exchanges, 2u);
  EXPECT_TRUE(bmc_.lastTarget.ipmb);
  EXPECT_EQ(bmc_.lastTarget.channel, 6);
  EXPECT_EQ(bmc_.lastTarget.slaveAddress, 0x2C);
  EXPECT_EQ(bmc_.lastTarget.lun, 1);
  EXPECT_EQ(reading.value, 90);

  // An unchanged repository is one question; a changed one is read again.
  bmc_.exchanges = 0;
  EXPECT_EQ(List().size(), 2u);
  EXPECT_EQ(bmc_.exchanges, 1u);
  bmc_.AddSdr(Sdr(Fields(0x33, 0x02, 4, "VBAT")), 200);
  EXPECT_EQ(List().size(), 3u);
}

TEST_F(SdrSource, ReadingAnswers) {
  const auto sensors = List();
  struct Case {
    const char* what;
    std::vector<uint8_t> answer;
    int result;
    bool valid;
    Severity severity;
  };
  const Case cases[] = {
      {"within thresholds", {55, 0x40, 0x00}, 0, true, Severity::kOk},
      {"no threshold byte", {55, 0x40}, 0, true, Severity::kOk},
      {"upper non-critical", {55, 0x40, 0x08}, 0, true, Severity::kNonCritical},
      {"lower critical", {55, 0x40, 0x03}, 0, true, Severity::kCritical},
      {"upper non-recoverable", {55, 0x40, 0x38}, 0, true, Severity::kNonRecoverable},
      {"scanning disabled", {55, 0x00, 0x00}, 0, false, Severity::kOk},
      {"reading unavailable", {55, 0x60, 0x00}, 0, false, Severity::kOk},
      {"cut to one byte", {55}, -1, false, Severity::kOk},
  };
  for (const Case& c : cases) {
    bmc_.readings[0x30] = c.answer;
    LiveReading reading;
    reading.valid = true;
    EXPECT_EQ(source_.ReadSensor(sensors[0], &reading), c.result) << c.what;
    EXPECT_EQ(reading.valid, c.valid) << c.what;
    if (c.valid) {
      EXPECT_EQ(reading.value, 550) << c.what;
    }
    EXPECT_EQ(reading.severity, c.severity) << c.what;
  }
  bmc_.Inject(kCmdGetSensorReading, Fault::kCompletion, kCcTimeout);
  LiveReading reading;
  EXPECT_EQ(source_.ReadSensor(sensors[0], &reading), -1);
  bmc_.readings.erase(0x30);
  EXPECT_EQ(source_.ReadSensor(sensors[0], &reading), -1);  // CBh: not present
  EXPECT_EQ(source_.ReadSensor(LiveSensor{}, &reading), -1);  // never listed
}

TEST_F(SdrSource, RepositoryReadsSurviveSmallAnswersAndLostReservations) {
  struct Case {
    const char* what;
    std::size_t maxAnswer;
    Fault fault;
    uint8_t value;
    int times;
    int skip;
    std::size_t sensors;
    int result;
  };
  const Case cases[] = {
      {"three bytes at a time", 2 + 3, Fault::kCompletion, kCcOk, 0, 0, 2, 0},
      {"reservation lost mid-record", 64, Fault::kCompletion, kCcReservationLost, 1, 2, 2, 0},
      {"reservation lost for good", 64, Fault::kCompletion, kCcReservationLost, 20, 0, 0, -1},
      // A whole record cut short is read again in pieces.
      {"record answer cut short", 64, Fault::kCut, 4, 1, 0, 2, 0},
      {"record answer always cut short", 64, Fault::kCut, 4, 40, 0, 0, -1},
      // Timeouts and "busy" are temporary: asked again, a bounded number of times.
      {"BMC times out once", 64, Fault::kCompletion, kCcTimeout, 1, 1, 2, 0},
      {"BMC busy for good", 64, Fault::kCompletion, 0xC0, 40, 1, 0, -1},
      {"repository info unanswered", 64, Fault::kNoAnswer, 0, 0, 0, 0, -1},
  };
  for (const Case& c : cases) {
    ScriptedBmc bmc;
    bmc.sdr = bmc_.sdr;
    bmc.maxRecordAnswer = c.maxAnswer;
    if (c.times > 0) bmc.Inject(kCmdGetSdr, c.fault, c.value, c.times, c.skip);
    if (c.fault == Fault::kNoAnswer) bmc.Inject(kCmdGetSdrRepositoryInfo, c.fault, 0);
    SdrSensorSource source(bmc);
    std::vector<LiveSensor> out;
    EXPECT_EQ(source.ListSensors(&out), c.result) << c.what;
    EXPECT_EQ(out.size(), c.sensors) << c.what;
  }
}

}  // namespace
}  // namespace hwlinux::ipmi
